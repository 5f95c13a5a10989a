#pragma once

#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QTimer>

// A picture that runs through its frames while playing and shows a chosen rest frame when stopped.
class TAnimate : public QLabel
{
    Q_OBJECT
public:
    explicit TAnimate(QWidget *parent = nullptr);

    void setFrames(const QList<QPixmap> &frames, int intervalMs = 120);
    // The frame shown while stopped (clamped to the frames there are).
    void setRestFrame(int index);
    void play();
    void stop();
    bool isPlaying() const { return m_timer.isActive(); }
    int currentFrame() const { return m_current; }
    int frameCount() const { return int(m_frames.size()); }

private:
    void showFrame(int index);

    QList<QPixmap> m_frames;
    QTimer m_timer;
    int m_current = 0;
    int m_rest = 0;
};
