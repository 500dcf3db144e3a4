// SPDX-License-Identifier: GPL-3.0-or-later
#include "photocontainer.h"

namespace vantorel {

namespace {

class PngContainer final : public PhotoContainer {
public:
    ContainerKind kind() const override { return ContainerKind::Png; }
    ContainerLayout layout(const ByteSource&) const override {
        ContainerLayout layout;
        layout.error = QStringLiteral("format non pris en charge");
        return layout;
    }
    ContainerPlan plan(const QByteArray&, const BlockEditor&) const override {
        ContainerPlan plan;
        plan.error = QStringLiteral("format non pris en charge");
        return plan;
    }
};

} // namespace

const PhotoContainer& pngContainer() {
    static const PngContainer container;
    return container;
}

} // namespace vantorel
