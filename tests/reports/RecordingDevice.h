#pragma once

#include <QFont>
#include <QLineF>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPointF>
#include <QString>

#include <memory>

namespace velkar {

// A paint device that keeps what is drawn on it: texts with the top-left corner of their line,
// their font, and lines with their pen width; pages are counted by newPage().
class RecordingDevice : public QPaintDevice {
public:
    struct Text {
        int page;
        QPointF topLeft;
        QString text;
        QFont font;
    };
    struct Line {
        int page;
        QLineF line;
        qreal width;
        QColor color;
    };

    explicit RecordingDevice(int dpi, QSize pixels = {5100, 6600});
    ~RecordingDevice() override;

    QPaintEngine* paintEngine() const override;
    bool newPage();

    int pages() const { return m_page + 1; }
    QList<Text> texts;
    QList<Line> lines;

    // The texts of one page, and the first of them with this text (null when none).
    QList<Text> textsOn(int page) const;
    const Text* find(int page, const QString& text) const;
    QList<Line> linesOn(int page) const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    class Engine;
    friend class Engine;
    int m_dpi;
    QSize m_pixels;
    int m_page = 0;
    std::unique_ptr<Engine> m_engine;
};

} // namespace velkar
