#include "desk/windows/PictureButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace velkar {

CPictureButton::CPictureButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
}

void CPictureButton::setPicture(const QPixmap& picture) {
    m_picture = picture;
    updateGeometry();
    update();
}

QSize CPictureButton::sizeHint() const {
    return m_picture.isNull() ? QSize(70, 85) : m_picture.deviceIndependentSize().toSize();
}

void CPictureButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CPictureButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CPictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = rect();
    const bool down = isDown();
    if (!m_picture.isNull()) {
        const QSize size = m_picture.deviceIndependentSize().toSize();
        QPoint at((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
        if (down)
            at += QPoint(1, 1);
        p.drawPixmap(at, m_picture);
        if (!isEnabled())
            p.fillRect(area, QColor(255, 255, 255, 120));
    }
    if (down || m_hovered) {
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Dark);
        const QColor top = down ? dark : light;
        const QColor bottom = down ? light : dark;
        const QRect r = area.adjusted(0, 0, -1, -1);
        p.setPen(top);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(bottom);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = area.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

} // namespace velkar
