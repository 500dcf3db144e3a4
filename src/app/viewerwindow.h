// The full-size viewer Form2: a borderless window that stays on top and shows the selected photo at its own
// size, or over the whole screen when it is larger, while the main window hides.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QWidget>

#include <functional>

namespace vantorel {

// Image2: the picture scaled to fit, keeping its proportions, drawn at the top left.
class ViewerImage : public QWidget {
    Q_OBJECT
public:
    explicit ViewerImage(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

signals:
    void doubleClicked();
    void leftButtonPressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QPixmap scaled_; // the picture at the size last painted
};

class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    // The screen's rectangle; by default the full geometry of the screen the window is on.
    using ScreenArea = std::function<QRect()>;

    explicit ViewerWindow(ScreenArea screenArea = {}, QWidget* parent = nullptr);

    // FormShow: loads the photo named by the main window's caption, sizes and places the viewer and asks
    // for the main window to hide. The viewer is shown in every case; when the caption is not a ".JPG"
    // file that exists and decodes, it keeps its previous picture, size and place.
    void showFor(const QString& mainCaption);

    ViewerImage* image() const { return image2_; }

signals:
    void hideMainWindowRequested();
    void showMainWindowRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Image2MouseDown with the left button: the window follows the mouse until the button is released.
    virtual void startWindowMove();

private:
    bool loadPicture(const QString& path);
    void Image2DblClick();
    QRect screenArea() const;

    ScreenArea screenArea_;
    ViewerImage* image2_;
};

} // namespace vantorel
