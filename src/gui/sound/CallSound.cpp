#include "sound/CallSound.h"

#include "calls/MsnList.h"
#include "common/Utils.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtEndian>
#include <QtMath>

namespace {
// How long an output may hold sound in its buffers after it took the last of it.
constexpr int kOutputLatencyMs = 500;

QAudioFormat signalFormat(const QAudioDevice &device)
{
    QAudioFormat format;
    format.setSampleRate(22050);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isFormatSupported(format))
        return format;
    QAudioFormat preferred = device.preferredFormat();
    return preferred;
}

// Converts mono 16-bit samples into the device's format.
QByteArray convertPcm(const QByteArray &mono16, const QAudioFormat &format)
{
    const int frames = int(mono16.size() / 2);
    const int channels = qMax(1, format.channelCount());
    QByteArray out(qsizetype(frames) * channels * format.bytesPerSample(), Qt::Uninitialized);
    char *dst = out.data();
    for (int i = 0; i < frames; ++i) {
        const qint16 sample = qFromLittleEndian<qint16>(mono16.constData() + 2 * i);
        for (int c = 0; c < channels; ++c) {
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                *reinterpret_cast<quint8 *>(dst) = quint8((sample >> 8) + 128);
                break;
            case QAudioFormat::Int16:
                *reinterpret_cast<qint16 *>(dst) = sample;
                break;
            case QAudioFormat::Int32:
                *reinterpret_cast<qint32 *>(dst) = qint32(sample) << 16;
                break;
            case QAudioFormat::Float:
                *reinterpret_cast<float *>(dst) = float(sample) / 32768.0f;
                break;
            default:
                break;
            }
            dst += format.bytesPerSample();
        }
    }
    return out;
}

void playWave(const QString &path)
{
    // The effect belongs to the application so that a sound longer than the wait plays out.
    auto *effect = new QSoundEffect(qApp);
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
    // Wait until the sound has ended: at least as long as the file lasts (outputs may report
    // the end early), at most that plus the output's latency, and never beyond the time limit.
    const int duration = CallSound::waveDurationMs(path);
    const int limit = duration < 0 ? CallSound::kWaveTimeLimitMs
                                   : qMin(CallSound::kWaveTimeLimitMs, duration + kOutputLatencyMs);
    QElapsedTimer clock;
    clock.start();
    bool started = false;
    WaitFor(
        [&] {
            if (effect->isPlaying())
                started = true;
            return effect->status() == QSoundEffect::Error ||
                   (started && !effect->isPlaying() && clock.elapsed() >= qMax(0, duration));
        },
        limit, QEventLoop::ExcludeUserInputEvents);
    if (effect->status() == QSoundEffect::Error) {
        effect->deleteLater();
        CallSignal(); // not a playable wave file: the built-in signal instead
        return;
    }
    if (duration < 0) {
        QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
            if (!effect->isPlaying())
                effect->deleteLater();
        });
    }
    const qint64 rest = duration < 0 ? 60000 : qMax<qint64>(0, duration - clock.elapsed()) + 2000;
    QTimer::singleShot(int(rest), effect, &QObject::deleteLater);
}
} // namespace

int CallSound::waveDurationMs(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(4096);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return -1;
    quint32 byteRate = 0;
    qint64 pos = 12;
    while (pos + 8 <= head.size()) {
        const QByteArray id = head.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + pos + 4);
        if (id == "fmt " && pos + 20 <= head.size())
            byteRate = qFromLittleEndian<quint32>(head.constData() + pos + 16);
        if (id == "data") {
            if (byteRate == 0)
                return -1;
            // a data size of 0 or beyond the file's end: count what the file holds
            const qint64 available = file.size() - (pos + 8);
            const qint64 bytes = (size == 0 || size > available) ? available : size;
            return int(qMin<qint64>(bytes * 1000 / byteRate, std::numeric_limits<int>::max()));
        }
        pos += 8 + size + (size & 1);
    }
    return -1;
}

bool CallSound::audioAvailable()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

QByteArray CallSound::signalPcm(int sampleRate)
{
    struct Tone
    {
        int hz, ms;
    };
    static constexpr Tone kTones[] = {{1000, 100}, {1000, 80}, {1500, 120}};
    const int fade = qMax(1, sampleRate / 400); // 2.5 ms
    QByteArray pcm;
    for (const Tone &tone : kTones) {
        const int n = int(qint64(sampleRate) * tone.ms / 1000);
        for (int i = 0; i < n; ++i) {
            double amp = 0.6;
            if (i < fade)
                amp *= double(i) / fade;
            else if (n - 1 - i < fade)
                amp *= double(n - 1 - i) / fade;
            const qint16 value = qint16(qRound(amp * 32767.0 * qSin(2.0 * M_PI * tone.hz * i / sampleRate)));
            char bytes[2];
            qToLittleEndian<qint16>(value, bytes);
            pcm.append(bytes, 2);
        }
    }
    return pcm;
}

void CallSignal()
{
    if (!CallSound::audioAvailable())
        return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    const QAudioFormat format = signalFormat(device);
    if (!format.isValid())
        return;
    const QByteArray pcm = convertPcm(CallSound::signalPcm(format.sampleRate()), format);
    // The sink and its data live until the output has played them, also after this returns.
    auto *sink = new QAudioSink(device, format, qApp);
    auto *buffer = new QBuffer(sink);
    buffer->setData(pcm);
    buffer->open(QIODevice::ReadOnly);
    sink->start(buffer);
    if (sink->error() != QAudio::NoError) {
        sink->deleteLater();
        return;
    }
    // The tones take 300 ms; wait that long by the clock, serving window messages, as the
    // signal is meant to hold the caller up only for its own length.
    const int durationMs = int(qint64(pcm.size()) * 1000 / qMax(1, format.bytesForDuration(1000000)));
    DelayMs(durationMs);
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            sink->deleteLater();
    });
    QTimer::singleShot(durationMs + 2000, sink, &QObject::deleteLater);
}

namespace {
CallSound::Player &installedPlayer()
{
    static CallSound::Player player;
    return player;
}
} // namespace

void CallSound::setPlayer(Player player)
{
    installedPlayer() = std::move(player);
}

void PlayCallSound(const QString &msnList, const QString &calledNumber, QWidget *repaint)
{
    if (const CallSound::Player &player = installedPlayer()) {
        player(MsnList::soundFileFor(msnList, calledNumber));
        return;
    }
    if (!CallSound::audioAvailable())
        return;
    const QString path = MsnList::soundFileFor(msnList, calledNumber);
    if (path.isEmpty()) {
        CallSignal();
        return;
    }
    if (repaint)
        repaint->repaint();
    playWave(path);
}
