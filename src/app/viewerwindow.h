// SPDX-License-Identifier: GPL-3.0-or-later
// The full-size viewer Form2: a borderless window that stays on top and shows the selected photo at its own
// size, or over the whole screen when it is larger, while the main window hides.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>

namespace vantorel {

class PictureLoader;
struct DecodedPicture;

// Image2: the picture scaled to fit, keeping its proportions, drawn at the top left. A picture prepared at
// exactly that size is painted as it is.
class ViewerImage : public QWidget {
    Q_OBJECT
public:
    explicit ViewerImage(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // Where, on the screen, the left button went down for the drag in progress.
    QPoint pressedAt() const { return pressedAt_; }

signals:
    void doubleClicked();
    // The pointer moved past the drag distance with the left button held.
    void dragStarted();
    void dragMoved(QPoint globalPosition);
    void dragEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QPixmap pixmap_; // the picture as set
    QPixmap scaled_; // the picture at the size last painted, when that differs
    QPoint pressedAt_;
    bool pressed_ = false;  // left button down, not yet a drag
    bool dragging_ = false; // a drag started and the button still down
};

class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    // The screen's rectangle; by default the full geometry of the screen the window is on.
    using ScreenArea = std::function<QRect()>;

    explicit ViewerWindow(ScreenArea screenArea = {}, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // FormShow: loads the photo named by the main window's caption, then sizes and places the viewer,
    // shows it and asks for the main window to hide. The photo is decoded on a worker thread; until it
    // arrives nothing changes. When the caption is not a ".JPG" file that exists and decodes, the viewer is
    // shown with its previous picture, size and place.
    void showFor(const QString& mainCaption);
    // A photo being decoded for showing.
    bool loading() const;
    // Gives up the photo being decoded: the viewer does not open for it.
    void cancelLoading();

    ViewerImage* image() const { return image2_; }

signals:
    void hideMainWindowRequested();
    void showMainWindowRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Image2MouseDown with the left button, once the pointer really moves: the window follows the mouse
    // until the button is released.
    virtual void startWindowMove();

private:
    void pictureDecoded(const DecodedPicture& picture);
    void showBeside();
    void followPointer(QPoint globalPosition);
    void Image2DblClick();
    QRect screenArea() const;

    ScreenArea screenArea_;
    ViewerImage* image2_;
    PictureLoader* loader_;
    QRect loadingScreen_;  // the screen the picture being decoded is placed on
    bool ownMove_ = false; // no window manager took the move: the window follows the pointer itself
    QPoint grabOffset_;
};

} // namespace vantorel
