// The media library for the test scripts:
//   sr_media duration FILE          seconds the file lasts (fails when unreadable)
//   sr_media tone FILE SECONDS      a 440 Hz stereo tone in the suffix's format
//   sr_media peak FILE              the peak of raw 16-bit little-endian samples, in dBFS

#include "tests/support/media/TestMedia.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const QByteArray command = argc > 2 ? argv[1] : "";
    const QString file = argc > 2 ? QFile::decodeName(argv[2]) : QString();
    if (command == "duration" && argc == 3) {
        const testmedia::Probe p = testmedia::probe(file);
        if (!p.ok)
            return 1;
        std::printf("%.3f\n", p.duration);
        return 0;
    }
    if (command == "tone" && argc == 4)
        return testmedia::makeTone(file, std::atof(argv[3])) ? 0 : 1;
    if (command == "peak" && argc == 3) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray raw = f.readAll();
        int peak = 0;
        for (int i = 0; i + 1 < raw.size(); i += 2)
            peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(raw.constData() + i))));
        std::printf("%.1f\n", peak ? 20 * std::log10(peak / 32768.0) : -1000.0);
        return 0;
    }
    std::fprintf(stderr, "usage: sr_media duration FILE | tone FILE SECONDS | peak RAW_S16LE_FILE\n");
    return 2;
}
