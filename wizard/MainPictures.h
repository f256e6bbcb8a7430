// The main window's pictures, drawn by the program itself: the banner, the
// logo, the step ticks, the cross, the animated step marker and the button
// glyphs.
#pragma once

#include "Controls.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <vector>

namespace tidewell::pictures {

inline constexpr int kMarkerFrames = 6;
inline constexpr int kMarkerFrameMs = 110;

QPixmap banner();  // 161 x 225
QPixmap logo();    // 160 x 32
QPixmap tick();    // 18 x 18, green, transparent background
QPixmap cross();   // 18 x 18, red
std::vector<QPixmap> markerFrames();  // six 14 x 14 frames

QIcon nextGlyph();    // arrow pointing right
QIcon finishGlyph();  // green check

}  // namespace tidewell::pictures

// An image of several frames that loops for ever while animation is on and
// the image is visible.
class TAnimatedImage : public TImage {
    Q_OBJECT
public:
    explicit TAnimatedImage(QWidget* parent = nullptr);

    void setFrames(std::vector<QPixmap> frames, int frameMs);
    void setAnimate(bool on);
    bool animate() const { return m_animate; }
    int frameCount() const { return static_cast<int>(m_frames.size()); }
    int currentFrame() const { return m_current; }
    bool running() const { return m_timer.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void nextFrame();
    void updateTimer();

    std::vector<QPixmap> m_frames;
    int m_current = 0;
    bool m_animate = false;
    QTimer m_timer;
};
