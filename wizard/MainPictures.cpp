#include "MainPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace tidewell::pictures {

namespace {

QPixmap blank(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

}  // namespace

QPixmap banner()
{
    constexpr int w = 161, h = 225;
    QPixmap pm(w, h);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(12, 40, 92));
    sky.setColorAt(0.62, QColor(24, 92, 150));
    sky.setColorAt(1.0, QColor(18, 130, 160));
    p.fillRect(0, 0, w, h, sky);

    // An access point: a box with its antenna and the waves it sends.
    const QPointF top(80.5, 62);
    p.setPen(QPen(QColor(220, 235, 250), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(top.x(), top.y()), QPointF(top.x(), top.y() + 34));
    p.setBrush(QColor(220, 235, 250));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(52, 96, 57, 20), 4, 4);
    p.setBrush(QColor(90, 220, 120));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(62 + i * 9, 106), 2.5, 2.5);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        QColor c(220, 235, 250, 230 - i * 50);
        p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
        qreal r = 9.0 * i;
        QRectF arc(top.x() - r, top.y() - r, 2 * r, 2 * r);
        p.drawArc(arc, 30 * 16, 120 * 16);
    }

    // The tide: three waves across the bottom.
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        qreal base = 160 + i * 18;
        wave.moveTo(0, base);
        for (int x = 0; x <= w; x += 4)
            wave.lineTo(x, base + 5 * std::sin((x + i * 23) / 161.0 * 2 * std::numbers::pi * 1.5));
        wave.lineTo(w, h);
        wave.lineTo(0, h);
        wave.closeSubpath();
        p.fillPath(wave, QColor(120 + i * 30, 200 + i * 15, 230, 70 + i * 40));
    }

    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(17);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 14, w, 24), Qt::AlignHCenter, QStringLiteral("Tidewell"));
    f.setPixelSize(10);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(200, 220, 245));
    p.drawText(QRectF(0, 126, w, 16), Qt::AlignHCenter, QStringLiteral("Firmware Update"));
    return pm;
}

QPixmap logo()
{
    constexpr int w = 160, h = 32;
    QPixmap pm = blank(w, h);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(18, 70, 140));
    QPainterPath mark;
    mark.addRoundedRect(QRectF(2, 4, 24, 24), 5, 5);
    p.drawPath(mark);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 2; ++i) {
        qreal r = 5.0 * i;
        p.drawArc(QRectF(14 - r, 20 - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(14, 20), 2, 2);

    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(20);
    f.setBold(true);
    f.setItalic(true);
    p.setFont(f);
    p.setPen(QColor(18, 70, 140));
    p.drawText(QRectF(32, 0, 72, h), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("KAVO"));
    f.setPixelSize(11);
    f.setItalic(false);
    p.setFont(f);
    p.setPen(QColor(40, 120, 170));
    p.drawText(QRectF(104, 0, 56, h), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("WLAN"));
    return pm;
}

QPixmap tick()
{
    QPixmap pm = blank(18, 18);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(3, 9.5);
    path.lineTo(7.5, 14);
    path.lineTo(15.5, 4);
    p.setPen(QPen(QColor(0, 100, 0), 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(QColor(40, 190, 40), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return pm;
}

QPixmap cross()
{
    QPixmap pm = blank(18, 18);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 0, 0), 4.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(14, 14));
    p.drawLine(QPointF(14, 4), QPointF(4, 14));
    p.setPen(QPen(QColor(225, 30, 30), 2.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(14, 14));
    p.drawLine(QPointF(14, 4), QPointF(4, 14));
    return pm;
}

std::vector<QPixmap> markerFrames()
{
    // A ball with a bright spot that goes round once in six frames.
    std::vector<QPixmap> frames;
    for (int i = 0; i < kMarkerFrames; ++i) {
        QPixmap pm = blank(14, 14);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(10, 40, 110), 1));
        p.setBrush(QColor(30, 90, 200));
        p.drawEllipse(QRectF(1, 1, 12, 12));
        double angle = i * 2 * std::numbers::pi / kMarkerFrames - std::numbers::pi / 2;
        QPointF spot(7 + 3.2 * std::cos(angle), 7 + 3.2 * std::sin(angle));
        QRadialGradient glow(spot, 3.4);
        glow.setColorAt(0, QColor(255, 255, 255));
        glow.setColorAt(1, QColor(120, 190, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(spot, 3.4, 3.4);
        frames.push_back(pm);
    }
    return frames;
}

QIcon nextGlyph()
{
    QPixmap pm = blank(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(3, 6);
    arrow.lineTo(8, 6);
    arrow.lineTo(8, 2.5);
    arrow.lineTo(13.5, 8);
    arrow.lineTo(8, 13.5);
    arrow.lineTo(8, 10);
    arrow.lineTo(3, 10);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 60, 0), 1));
    p.setBrush(QColor(40, 160, 60));
    p.drawPath(arrow);
    return QIcon(pm);
}

QIcon finishGlyph()
{
    QPixmap pm = blank(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.5, 12.5);
    path.lineTo(13.5, 3.5);
    p.setPen(QPen(QColor(0, 140, 0), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return QIcon(pm);
}

}  // namespace tidewell::pictures

TAnimatedImage::TAnimatedImage(QWidget* parent) : TImage(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &TAnimatedImage::nextFrame);
}

void TAnimatedImage::setFrames(std::vector<QPixmap> frames, int frameMs)
{
    m_frames = std::move(frames);
    m_current = 0;
    m_timer.setInterval(frameMs);
    if (!m_frames.empty())
        setPixmap(m_frames.front());
    updateTimer();
}

void TAnimatedImage::setAnimate(bool on)
{
    m_animate = on;
    updateTimer();
}

void TAnimatedImage::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    updateTimer();
}

void TAnimatedImage::hideEvent(QHideEvent* event)
{
    QLabel::hideEvent(event);
    updateTimer();
}

void TAnimatedImage::nextFrame()
{
    if (m_frames.empty())
        return;
    m_current = (m_current + 1) % frameCount();
    setPixmap(m_frames[static_cast<std::size_t>(m_current)]);
}

void TAnimatedImage::updateTimer()
{
    // Only a marker that can be seen needs to move.
    bool run = m_animate && frameCount() > 1 && isVisible();
    if (run && !m_timer.isActive())
        m_timer.start();
    else if (!run)
        m_timer.stop();
}
