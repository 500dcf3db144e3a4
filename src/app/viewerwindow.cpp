// The full-size viewer: loading and placing the picture, closing, dragging.
#include "viewerwindow.h"

#include "display/jpegdecoder.h"
#include "display/viewergeometry.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace vantorel {

namespace {
// The margin in the window colour around the picture.
constexpr int kMargin = 1;
// Client size from the layout, until a picture sets the size.
constexpr QSize kLayoutClientSize(686, 451);
} // namespace

ViewerImage::ViewerImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image2"));
}

void ViewerImage::setPicture(const QImage& picture) {
    picture_ = picture;
    scaled_ = QPixmap();
    update();
}

void ViewerImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    const QSize fit = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    if (fit.isEmpty()) return;
    if (scaled_.size() != fit)
        scaled_ = QPixmap::fromImage(
            fit == picture_.size() ? picture_
                                   : picture_.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    QPainter(this).drawPixmap(0, 0, scaled_);
}

void ViewerImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit leftButtonPressed();
}

void ViewerImage::mouseDoubleClickEvent(QMouseEvent* event) {
    // Not passed on to mousePressEvent: the second click must not start a move.
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

ViewerWindow::ViewerWindow(ScreenArea screenArea, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      screenArea_(std::move(screenArea)), image2_(new ViewerImage(this)) {
    setObjectName(QStringLiteral("Form2"));
    // Closing the viewer never ends the program; the main window decides that.
    setAttribute(Qt::WA_QuitOnClose, false);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(0);
    layout->addWidget(image2_);

    const QSize outer = kLayoutClientSize + QSize(2 * kMargin, 2 * kMargin);
    const QRect screen = this->screenArea(); // the member, not the moved-from argument
    setGeometry(viewerGeometry(outer, screen.size()).translated(screen.topLeft()));

    connect(image2_, &ViewerImage::doubleClicked, this, &ViewerWindow::Image2DblClick);
    connect(image2_, &ViewerImage::leftButtonPressed, this, &ViewerWindow::startWindowMove);
}

QRect ViewerWindow::screenArea() const {
    if (screenArea_) return screenArea_();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect();
}

void ViewerWindow::showFor(const QString& mainCaption) {
    // Before any photo the caption is the program's title, which is not a photo: shown as it was.
    if (loadPicture(mainCaption)) {
        show();
        raise();
        emit hideMainWindowRequested();
        return;
    }
    show();
    raise();
}

bool ViewerWindow::loadPicture(const QString& path) {
    if (!isJpgExtension(path) || !QFileInfo(path).isFile()) return false;
    const QRect screen = screenArea();
    // A picture larger than the screen is decoded straight to the screen's size: the window then covers
    // the screen either way, since the fitted picture meets its edge in one direction.
    const QImage picture = decodeFull(path, screen.size());
    if (picture.isNull()) return false;
    image2_->setPicture(picture);
    setGeometry(viewerGeometry(picture.size(), screen.size()).translated(screen.topLeft()));
    return true;
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
    if (QWindow* w = windowHandle()) w->startSystemMove();
}

} // namespace vantorel
