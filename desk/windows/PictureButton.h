#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace velkar {

// A flat button that shows one picture, its caption drawn into it. The picture is centred and
// clipped by the button, raised while the pointer is over it and sunk while pressed.
class CPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CPictureButton(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap m_picture;
    bool m_hovered = false;
};

} // namespace velkar
