#pragma once

#include <QApplication>
#include <QLayout>
#include <QTest>
#include <QWidget>

namespace velkar {

// The widgets Tab visits in `window`, from `first` once round. A date picker takes several
// presses, one for each part of its date. The window is shown and made active, as the keys
// reach only an active window.
inline QList<QWidget*> TabChain(QWidget* window, QWidget* first) {
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return {};
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget*> chain;
    for (int press = 0; press < 100; ++press) {
        QWidget* at = window->focusWidget();
        if (!at || (at == first && !chain.isEmpty() && chain.last() != first))
            break;
        if (chain.isEmpty() || chain.last() != at)
            chain << at;
        QTest::keyClick(at, Qt::Key_Tab);
    }
    return chain;
}

// True when `widget` sits in a layout of its parent, at any depth of nested layouts.
inline bool InLayout(const QLayout* layout, const QWidget* widget) {
    if (!layout)
        return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == widget || InLayout(item->layout(), widget))
            return true;
    }
    return false;
}

// The visible controls of `window` that no layout places: they would sit where they were put
// whatever the window's size, font or scale. A scroll area's page and a status bar's fields are
// placed by their holders.
inline QStringList UnplacedControls(QWidget* window) {
    QStringList unplaced;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        QWidget* parent = child->parentWidget();
        const bool holder = parent && (parent == window || parent->inherits("QGroupBox") ||
                                       parent->inherits("QDialog") || parent->inherits("QFrame"));
        if (child->isWindow() || child->isHidden() || !holder)
            continue;
        if (child->objectName().isEmpty() || child->objectName().startsWith(QLatin1String("qt_")))
            continue; // a part of a Qt widget
        if (!InLayout(parent->layout(), child))
            unplaced << child->objectName();
    }
    return unplaced;
}

} // namespace velkar
