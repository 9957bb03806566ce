// The picture converter's vector path against its plain one and against
// the BT.709 formula, on a width that leaves a tail for the plain path.

#include "encode/ColorConvert.h"

#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <vector>

class TstColorConvert : public QObject {
    Q_OBJECT
private slots:
    void matchesTheFormula()
    {
        const int w = 38, h = 6;
        std::vector<uint8_t> bgra(w * h * 4);
        for (std::size_t i = 0; i < bgra.size(); ++i)
            bgra[i] = uint8_t(std::rand());
        std::vector<uint8_t> a(w * h * 3 / 2), b(a.size());
        auto planes = [&](std::vector<uint8_t>& p) {
            return sc::rec::PlanarPicture{{p.data(), p.data() + w * h, p.data() + w * h * 5 / 4}, {w, w / 2, w / 2}};
        };
        sc::rec::bgraToI420Bt709(bgra.data(), w * 4, planes(a), w, h);
        sc::rec::bgraToI420Bt709Plain(bgra.data(), w * 4, planes(b), w, h);
        QVERIFY(a == b);
        for (int i = 0; i < w * h; ++i) {
            const uint8_t* p = &bgra[i * 4];
            const double y = 16 + 219.0 / 255 * (0.2126 * p[2] + 0.7152 * p[1] + 0.0722 * p[0]);
            QVERIFY2(std::fabs(a[i] - y) < 1.6, qPrintable(QString("pixel %1: %2 for %3").arg(i).arg(a[i]).arg(y)));
        }
        const std::vector<uint8_t> grey(w * h * 4, 77);
        sc::rec::bgraToI420Bt709(grey.data(), w * 4, planes(a), w, h);
        QVERIFY(std::all_of(a.begin() + w * h, a.end(), [](uint8_t c) { return c == 128; }));
    }
};

QTEST_GUILESS_MAIN(TstColorConvert)
#include "tst_color_convert.moc"
