#pragma once

// Helpers of the sound tests: the test environment's sound server (pactl,
// tones played with paplay), decoding with ffmpeg/ffprobe and a little
// signal analysis.

#include "rec/AudioSource.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace audiotest {

// Runs a program to its end (bounded) and returns its standard output;
// empty when it failed.
inline QByteArray run(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return QByteArray();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return QByteArray();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

// Runs a program to its successful end (bounded).
inline bool succeeds(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return false;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline QString pactl(const QStringList& args) { return QString::fromUtf8(run("pactl", args)).trimmed(); }

inline bool soundServerRuns() { return !pactl({"info"}).isEmpty(); }

// A null sink of its own for one scope (its monitor is "<name>.monitor").
class ScopedSink {
public:
    explicit ScopedSink(const QString& name) : m_name(name)
    {
        m_module = pactl({"load-module", "module-null-sink", "sink_name=" + name});
    }
    ~ScopedSink() { unload(); }
    bool ok() const { return !m_module.isEmpty(); }
    QString monitor() const { return m_name + ".monitor"; }
    const QString& name() const { return m_name; }
    void unload()
    {
        if (!m_module.isEmpty())
            pactl({"unload-module", m_module});
        m_module.clear();
    }

private:
    QString m_name;
    QString m_module;
};

// A sine tone (silence for frequency 0) played into a sink (the default
// one for an empty name) by paplay until the object ends. It asks for a short latency: a null sink
// that only has long-latency clients renders seconds ahead, and its monitor
// then stays silent for a second or two after a recorder connects.
class Tone {
public:
    Tone(int frequency, double seconds, const QString& sink = QString())
    {
        if (!m_dir.isValid())
            return;
        const QString wav = m_dir.filePath("tone.wav");
        const QByteArray made =
            run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                           frequency > 0 ? QString("sine=frequency=%1:duration=%2").arg(frequency).arg(seconds)
                                         : QString("anullsrc=r=48000:cl=stereo:d=%1").arg(seconds),
                           "-ar", "48000", "-ac", "2", "-f", "wav", wav});
        Q_UNUSED(made);
        if (!QFileInfo::exists(wav))
            return;
        QStringList args{"--latency-msec=20"};
        if (!sink.isEmpty())
            args << "--device=" + sink;
        args << wav;
        m_player.start("paplay", args);
        m_started = m_player.waitForStarted(5000);
    }
    ~Tone() { stop(); }
    bool ok() const { return m_started; }
    void stop()
    {
        if (m_player.state() != QProcess::NotRunning) {
            m_player.kill();   // the process's own id, not a name
            m_player.waitForFinished(3000);
        }
    }

private:
    QTemporaryDir m_dir;
    QProcess m_player;
    bool m_started = false;
};

struct Probe {
    QString codec;
    double duration = 0;
    int sampleRate = 0;
    int channels = 0;
};

// What ffprobe says of the first audio stream; an empty codec when it
// cannot read the file.
inline Probe probe(const QString& path)
{
    Probe p;
    const QString out = QString::fromUtf8(
        run("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name,sample_rate,channels:format=duration", "-of", "default=nw=1", path}));
    for (const QString& line : out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1).trimmed();
        if (key == "codec_name")
            p.codec = value;
        else if (key == "duration")
            p.duration = value.toDouble();
        else if (key == "sample_rate")
            p.sampleRate = value.toInt();
        else if (key == "channels")
            p.channels = value.toInt();
    }
    return p;
}

// The whole file decoded by ffmpeg into interleaved stereo floats at 48 kHz;
// empty when it cannot be decoded.
inline std::vector<float> decode(const QString& path)
{
    const QByteArray raw = run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", path, "-f", "f32le", "-ac", "2",
                                          "-ar", "48000", "-"});
    std::vector<float> samples(std::size_t(raw.size()) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
    return samples;
}

// RMS of the left channel of interleaved stereo frames [from, to).
inline double rms(const std::vector<float>& s, std::size_t from, std::size_t to)
{
    to = std::min(to, s.size() / 2);
    if (to <= from)
        return 0.0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(s[2 * i]) * s[2 * i];
    return std::sqrt(sum / double(to - from));
}

// Relative strength of `frequency` in the left channel of frames
// [from, to): the amplitude a sine of that frequency would have.
inline double toneLevel(const std::vector<float>& s, std::size_t from, std::size_t to, double frequency,
                        double rate = 48000)
{
    to = std::min(to, s.size() / 2);
    if (to <= from)
        return 0.0;
    const double w = 2 * M_PI * frequency / rate;
    double re = 0, im = 0;
    for (std::size_t i = from; i < to; ++i) {
        re += s[2 * i] * std::cos(w * double(i));
        im += s[2 * i] * std::sin(w * double(i));
    }
    return 2 * std::sqrt(re * re + im * im) / double(to - from);
}

// Frequency from the zero crossings of the left channel of [from, to).
inline double crossingFrequency(const std::vector<float>& s, std::size_t from, std::size_t to, double rate = 48000)
{
    to = std::min(to, s.size() / 2);
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if ((s[2 * (i - 1)] < 0) != (s[2 * i] < 0))
            ++crossings;
    return to > from ? crossings / 2.0 / (double(to - from) / rate) : 0.0;
}

// Waits (at most `timeoutMs`) until `source` delivers `frequency`
// clearly: a sink that has just started needs a moment to settle.
inline bool heard(sc::rec::PulseAudioSource& source, double frequency, int timeoutMs = 6000)
{
    std::vector<float> recent;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QThread::msleep(20);
        std::vector<sc::rec::AudioChunk> chunks;
        if (!source.take(chunks))
            return false;
        for (const sc::rec::AudioChunk& c : chunks)
            recent.insert(recent.end(), c.samples.begin(), c.samples.end());
        const std::size_t keep = 2 * 4800;   // the last 100 ms
        if (recent.size() > keep)
            recent.erase(recent.begin(), recent.end() - std::ptrdiff_t(keep));
        if (recent.size() == keep && toneLevel(recent, 0, keep / 2, frequency) > 0.02)
            return true;
    }
    return false;
}

// Plays a tone into the default sink and waits until its monitor delivers
// it: what the tests of system sound stand on.
inline bool toneSettles(int frequency, std::unique_ptr<Tone>& tone, double seconds = 120)
{
    tone.reset(new Tone(frequency, seconds));
    if (!tone->ok())
        return false;
    sc::rec::PulseAudioSource probe(true, false, nullptr);
    std::string error;
    return probe.start(error) && heard(probe, frequency);
}

} // namespace audiotest
