// SPDX-License-Identifier: GPL-3.0-or-later
// The full-size viewer: loading and placing the picture, closing, dragging.
#include "viewerwindow.h"

#include "display/picturedecoder.h"
#include "display/pictureloader.h"
#include "display/viewergeometry.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleHints>
#include <QVBoxLayout>
#include <QWindow>

namespace vantorel {

namespace {
// Client size from the layout, until a picture sets the size.
constexpr QSize kLayoutClientSize(686, 451);
} // namespace

ViewerImage::ViewerImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image2"));
}

void ViewerImage::setPicture(const QImage& picture) {
    picture_ = picture;
    pixmap_ = QPixmap::fromImage(picture);
    scaled_ = QPixmap();
    update();
}

void ViewerImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    const QSize fit = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    if (fit.isEmpty()) return;
    if (fit == picture_.size()) {
        QPainter(this).drawPixmap(0, 0, pixmap_);
        return;
    }
    if (scaled_.size() != fit)
        scaled_ = QPixmap::fromImage(picture_.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    QPainter(this).drawPixmap(0, 0, scaled_);
}

// A press alone never starts a move: under a window manager the move grabs the pointer, and the second
// click of a double-click would never arrive.
void ViewerImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressedAt_ = event->globalPosition().toPoint();
    pressed_ = true;
}

void ViewerImage::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        pressed_ = dragging_ = false;
        return;
    }
    const QPoint at = event->globalPosition().toPoint();
    if (dragging_) {
        emit dragMoved(at);
    } else if (pressed_ &&
               (at - pressedAt_).manhattanLength() >= QGuiApplication::styleHints()->startDragDistance()) {
        pressed_ = false;
        dragging_ = true;
        emit dragStarted();
        emit dragMoved(at);
    }
}

void ViewerImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool wasDragging = dragging_;
    pressed_ = dragging_ = false;
    if (wasDragging) emit dragEnded();
}

void ViewerImage::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = dragging_ = false;
    emit doubleClicked();
}

ViewerWindow::ViewerWindow(ScreenArea screenArea, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      screenArea_(std::move(screenArea)), image2_(new ViewerImage(this)), loader_(new PictureLoader(this)) {
    setObjectName(QStringLiteral("Form2"));
    // Closing the viewer never ends the program; the main window decides that.
    setAttribute(Qt::WA_QuitOnClose, false);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kViewerMargin, kViewerMargin, kViewerMargin, kViewerMargin);
    layout->setSpacing(0);
    layout->addWidget(image2_);

    const QSize outer = kLayoutClientSize + QSize(2 * kViewerMargin, 2 * kViewerMargin);
    const QRect screen = this->screenArea(); // the member, not the moved-from argument
    setGeometry(viewerGeometry(outer, screen.size()).translated(screen.topLeft()));

    connect(image2_, &ViewerImage::doubleClicked, this, &ViewerWindow::Image2DblClick);
    connect(image2_, &ViewerImage::dragStarted, this, &ViewerWindow::startWindowMove);
    connect(image2_, &ViewerImage::dragMoved, this, &ViewerWindow::followPointer);
    connect(image2_, &ViewerImage::dragEnded, this, [this] { ownMove_ = false; });
    connect(loader_, &PictureLoader::decoded, this,
            [this](quint64, const DecodedPicture& picture) { pictureDecoded(picture); });
}

ViewerWindow::~ViewerWindow() = default;

QRect ViewerWindow::screenArea() const {
    if (screenArea_) return screenArea_();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect();
}

void ViewerWindow::showFor(const QString& mainCaption) {
    // Before any photo the caption is the program's title, which is not a photo: shown as it was.
    if (pictureFormatOf(mainCaption) == PictureFormat::None || !QFileInfo(mainCaption).isFile()) {
        loader_->cancel();
        showBeside();
        return;
    }
    // A picture larger than the screen is decoded straight to the size it is shown at: the window then
    // covers the screen either way, since the fitted picture meets its edge in one direction.
    loadingScreen_ = screenArea();
    const QSize screen = loadingScreen_.size();
    loader_->start([path = mainCaption, screen](const CancelFlag& cancel) {
        return decodePictureForShowing(
            path, [screen](QSize natural) { return viewerPictureSize(natural, screen); }, &cancel);
    });
}

bool ViewerWindow::loading() const {
    return loader_->busy();
}

void ViewerWindow::cancelLoading() {
    loader_->cancel();
}

void ViewerWindow::pictureDecoded(const DecodedPicture& picture) {
    // A file that does not decode changes nothing: the viewer shows beside the main window.
    if (picture.image.isNull()) {
        showBeside();
        return;
    }
    image2_->setPicture(picture.image);
    setGeometry(viewerGeometry(picture.natural, loadingScreen_.size()).translated(loadingScreen_.topLeft()));
    show();
    raise();
    emit hideMainWindowRequested();
}

void ViewerWindow::showBeside() {
    show();
    raise();
}

void ViewerWindow::Image2DblClick() {
    hide();
    emit showMainWindowRequested();
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    // The main window comes back before the viewer goes, so that the program never has no window.
    emit showMainWindowRequested();
    event->ignore();
    hide();
}

void ViewerWindow::startWindowMove() {
    QWindow* w = windowHandle();
    if (w && w->startSystemMove()) return;
    // No window manager to hand the move to: the window follows the pointer until the button is released.
    ownMove_ = true;
    grabOffset_ = image2_->pressedAt() - pos();
}

void ViewerWindow::followPointer(QPoint globalPosition) {
    if (ownMove_) move(globalPosition - grabOffset_);
}

} // namespace vantorel
