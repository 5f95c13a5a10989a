#include "windows/MsnSoundDialog.h"

#include "calls/MsnList.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "widgets/ButtonEdit.h"
#include "widgets/StandardDialogs.h"
#include "windows/MessageDialog.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QSoundEffect>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>
#include <QtEndian>
#include <QtMath>

namespace {
struct PageGeometry
{
    int height, separatorTop, buttonsTop, notebookHeight;
};
constexpr PageGeometry kMsnPage{TfmMsnMap::kMsnHeight, 152, 168, 150};
constexpr PageGeometry kSoundPage{TfmMsnMap::kSoundHeight, 248, 264, 241};

QLabel *heading(const QString &text, QWidget *page)
{
    auto *label = new QLabel(text, page);
    label->setGeometry(10, 6, TfmMsnMap::kWidth - 20, 18);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *rowLabel(int position, QWidget *page)
{
    // "1 : " ... "8 : "
    auto *label = new QLabel(QStringLiteral("%1 : ").arg(position), page);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}
} // namespace

TfmMsnMap::TfmMsnMap(QWidget *parent) : TToolDialog(parent)
{
    setObjectName(QStringLiteral("fmMsnMap"));
    setWindowTitle(QStringLiteral("MSN-Konfiguration"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    nb = new QStackedWidget(this);
    nb->setObjectName(QStringLiteral("nb"));

    // Page "MSN": two columns of four fields.
    pageMsn = new QWidget;
    pageMsn->setObjectName(QStringLiteral("MSN"));
    heading(QStringLiteral("Eingaben ohne Vorwahl"), pageMsn);
    for (int i = 0; i < 8; ++i) {
        const int column = i / 4, row = i % 4;
        const int x = 10 + column * 155, y = 32 + row * 28;
        QLabel *label = rowLabel(i + 1, pageMsn);
        label->setGeometry(x, y, 28, 22);
        MSN[i] = new TButtonEdit(pageMsn);
        MSN[i]->setObjectName(QStringLiteral("MSN_%1").arg(i + 1));
        MSN[i]->setDigitsOnly(true);
        MSN[i]->setMaxLength(20);
        MSN[i]->setGeometry(x + 30, y, 112, 22);
        label->setBuddy(MSN[i]);
    }
    nb->addWidget(pageMsn);

    // Page "Sound": one field with a chooser per position.
    pageSound = new QWidget;
    pageSound->setObjectName(QStringLiteral("Sound"));
    heading(QStringLiteral("Sound zuweisen ...  "), pageSound);
    for (int i = 0; i < 8; ++i) {
        const int y = 30 + i * 26;
        QLabel *label = rowLabel(i + 1, pageSound);
        label->setGeometry(10, y, 28, 22);
        Sound[i] = new TButtonEdit(pageSound);
        Sound[i]->setObjectName(QStringLiteral("Sound_%1").arg(i + 1));
        Sound[i]->setButtonVisible(true);
        Sound[i]->setGeometry(40, y, kWidth - 50, 22);
        connect(Sound[i], &TButtonEdit::buttonClicked, this, [this, i] { SoundEditButtonClick(i + 1); });
    }
    nb->addWidget(pageSound);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    SoundBtn = new QPushButton(QStringLiteral("&Sound"), this);
    SoundBtn->setObjectName(QStringLiteral("SoundBtn"));
    ChangeBtn = new QPushButton(QStringLiteral("&Weiter"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Abbrechen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    for (QPushButton *button : {SoundBtn, ChangeBtn, CloseBtn})
        button->setAutoDefault(false);
    ChangeBtn->setDefault(true);
    setFocusOnShow(ChangeBtn);

    connect(SoundBtn, &QPushButton::clicked, this, &TfmMsnMap::SoundBtnClick);
    connect(ChangeBtn, &QPushButton::clicked, this, &TfmMsnMap::ChangeBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    showPage(false);
}

void TfmMsnMap::showPage(bool soundPage)
{
    const PageGeometry &g = soundPage ? kSoundPage : kMsnPage;
    nb->setCurrentWidget(soundPage ? pageSound : pageMsn);
    nb->setGeometry(0, 0, kWidth, g.notebookHeight);
    Bevel1->setGeometry(6, g.separatorTop, kWidth - 12, 2);
    SoundBtn->setGeometry(8, g.buttonsTop, 80, 25);
    ChangeBtn->setGeometry(kWidth - 2 * 80 - 14, g.buttonsTop, 80, 25);
    CloseBtn->setGeometry(kWidth - 80 - 8, g.buttonsTop, 80, 25);
    setFixedSize(kWidth, g.height);
}

void TfmMsnMap::FormShow()
{
    showPage(false);
    SoundBtn->setText(QStringLiteral("&Sound"));
    const QString list = ReadSettingText(QStringLiteral("ISDN_MSN"));
    const QStringList fields = MsnList::splitForWindow(list);
    for (int i = 0; i < 8; ++i)
        MSN[i]->setText(fields.at(i));
    for (int i = 0; i < 8; ++i)
        Sound[i]->setText(ReadSettingText(MsnList::soundSettingName(i + 1)));
}

void TfmMsnMap::SoundBtnClick()
{
    const bool toSound = nb->currentWidget() == pageMsn;
    showPage(toSound);
    SoundBtn->setText(toSound ? QStringLiteral("&MSN") : QStringLiteral("&Sound"));
}

void TfmMsnMap::SoundEditButtonClick(int position)
{
    const QString chosen =
        ChooseOpenFile(this, QStringLiteral("Soundauswahl ..."), QStringLiteral("Wavedateien|*.wav"),
                       Paths::homeDir(), QStringLiteral("wav"));
    if (chosen.size() > 5)
        Sound[position - 1]->setText(chosen);
}

void TfmMsnMap::ChangeBtnClick()
{
    QStringList fields;
    for (TButtonEdit *edit : MSN)
        fields << edit->text();
    try {
        WriteSettingString(QStringLiteral("ISDN_MSN"), MsnList::join(fields));
        for (int i = 0; i < 8; ++i)
            WriteSettingString(MsnList::soundSettingName(i + 1), Sound[i]->text());
    } catch (const IoError &e) {
        // The entries stay in the window so the user can try again.
        ShowMessageDlg(e.message());
        return;
    }
    accept();
}

// ---- sound ------------------------------------------------------------------------------

namespace {
// How long an output may hold sound in its buffers after it took the last of it.
constexpr int kOutputLatencyMs = 500;

// Runs the event loop until `done` says so or the time limit has passed.
template<typename Done> void waitUntil(Done done, int limitMs, QEventLoop::ProcessEventsFlags flags)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= limitMs)
            loop.quit();
    });
    tick.start();
    if (!done())
        loop.exec(flags);
}

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
    waitUntil(
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
    waitUntil([] { return false; }, durationMs, QEventLoop::AllEvents);
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
