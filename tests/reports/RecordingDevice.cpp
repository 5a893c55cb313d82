#include "RecordingDevice.h"

#include <QTextItem>

namespace velkar {

class RecordingDevice::Engine : public QPaintEngine {
public:
    explicit Engine(RecordingDevice& device) : QPaintEngine(AllFeatures), m_device(device) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyPen)
            m_pen = state.pen();
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QPointF topLeft(p.x(), p.y() - item.ascent());
        // A text may arrive in runs (one per font that holds its glyphs): join the runs.
        auto& texts = m_device.texts;
        if (!texts.isEmpty() && m_lastEnd >= 0 && texts.last().page == m_device.m_page &&
            qAbs(texts.last().topLeft.y() + m_lastAscent - p.y()) < 0.01 &&
            qAbs(m_lastEnd - p.x()) < 0.5) {
            texts.last().text += item.text();
        } else {
            texts.append({m_device.m_page, topLeft, item.text(), item.font()});
            m_lastAscent = item.ascent();
        }
        m_lastEnd = p.x() + item.width();
    }

    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i)
            m_device.lines.append({m_device.m_page, lines[i], m_pen.widthF(), m_pen.color()});
        m_lastEnd = -1;
    }
    void drawLines(const QLine* lines, int count) override {
        for (int i = 0; i < count; ++i)
            m_device.lines.append(
                {m_device.m_page, QLineF(lines[i]), m_pen.widthF(), m_pen.color()});
        m_lastEnd = -1;
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}

    void newPage() { m_lastEnd = -1; }

private:
    RecordingDevice& m_device;
    QPen m_pen;
    qreal m_lastEnd = -1;
    qreal m_lastAscent = 0;
};

RecordingDevice::RecordingDevice(int dpi, QSize pixels)
    : m_dpi(dpi), m_pixels(pixels), m_engine(std::make_unique<Engine>(*this)) {}

RecordingDevice::~RecordingDevice() = default;

QPaintEngine* RecordingDevice::paintEngine() const {
    return m_engine.get();
}

bool RecordingDevice::newPage() {
    ++m_page;
    m_engine->newPage();
    return true;
}

QList<RecordingDevice::Text> RecordingDevice::textsOn(int page) const {
    QList<Text> result;
    for (const Text& t : texts)
        if (t.page == page)
            result << t;
    return result;
}

const RecordingDevice::Text* RecordingDevice::find(int page, const QString& text) const {
    for (const Text& t : texts)
        if (t.page == page && t.text == text)
            return &t;
    return nullptr;
}

QList<RecordingDevice::Line> RecordingDevice::linesOn(int page) const {
    QList<Line> result;
    for (const Line& l : lines)
        if (l.page == page)
            result << l;
    return result;
}

int RecordingDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
        return m_pixels.width();
    case PdmHeight:
        return m_pixels.height();
    case PdmWidthMM:
        return m_pixels.width() * 254 / (10 * m_dpi);
    case PdmHeightMM:
        return m_pixels.height() * 254 / (10 * m_dpi);
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return m_dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(QPaintDevice::devicePixelRatioFScale());
    }
    return 0;
}

} // namespace velkar
