#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QWidget;

// The call sound: the wave file chosen for the called MSN, or the built-in three-tone signal.

// Plays the wave file chosen for the called MSN (see MsnList::soundFileFor), else CallSignal.
// A wave file is waited for up to kWaveTimeLimitMs and then left to play out on its own; while
// it plays only timers and internal events are served, not user input. `repaint`, when given,
// is repainted before a wave file starts. Without an audio output nothing sounds and nothing
// waits.
void PlayCallSound(const QString &msnList, const QString &calledNumber, QWidget *repaint = nullptr);
// The built-in signal: 1000 Hz for 100 ms, 1000 Hz for 80 ms, 1500 Hz for 120 ms. Waits until
// it has sounded, serving window messages meanwhile.
void CallSignal();

namespace CallSound {
inline constexpr int kWaveTimeLimitMs = 5000;
// The playing time of a wave file from its header, or -1 when it cannot be told.
int waveDurationMs(const QString &path);
// True when the system offers an audio output.
bool audioAvailable();
// What PlayCallSound plays, for tests: with a player installed, PlayCallSound hands it the wave
// file it chose (empty for CallSignal) instead of sounding. An empty function restores the sound.
using Player = std::function<void(const QString &waveFile)>;
void setPlayer(Player player);
// The three tones of CallSignal as mono signed 16-bit little-endian PCM at `sampleRate`, each
// tone with short fades so the steps are heard without clicks.
QByteArray signalPcm(int sampleRate);
} // namespace CallSound
