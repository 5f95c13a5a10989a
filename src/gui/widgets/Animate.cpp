#include "widgets/Animate.h"

TAnimate::TAnimate(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!m_frames.isEmpty())
            showFrame((m_current + 1) % int(m_frames.size()));
    });
}

void TAnimate::setFrames(const QList<QPixmap> &frames, int intervalMs)
{
    m_frames = frames;
    m_timer.setInterval(intervalMs);
    showFrame(isPlaying() ? 0 : m_rest);
}

void TAnimate::setRestFrame(int index)
{
    m_rest = index;
    if (!isPlaying())
        showFrame(index);
}

void TAnimate::play()
{
    if (m_frames.isEmpty() || isPlaying())
        return;
    showFrame(0);
    m_timer.start();
}

void TAnimate::stop()
{
    m_timer.stop();
    showFrame(m_rest);
}

void TAnimate::showFrame(int index)
{
    if (m_frames.isEmpty()) {
        clear();
        m_current = 0;
        return;
    }
    m_current = qBound(0, index, int(m_frames.size()) - 1);
    setPixmap(m_frames.at(m_current));
}
