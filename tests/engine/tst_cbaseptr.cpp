// The engine's owning pointer, and the promises of the engine double that
// the module's unit tests build on (call log, failure injection, callbacks
// on a thread of their own).

#include "tests/support/FakeScreencast.h"

#include <QtTest>

#include <thread>
#include <type_traits>

namespace {

// An engine object that counts its releases and remembers what its holder
// held at that moment.
class Counted : public CBaseObject {
public:
    explicit Counted(int* releases, CBasePtr<Counted>* holder = nullptr)
        : m_releases(releases), m_holder(holder) {}
    void release() override
    {
        ++*m_releases;
        if (m_holder)
            holderAtRelease = m_holder->get();
        delete this;
    }
    static Counted* holderAtRelease;

private:
    int* m_releases;
    CBasePtr<Counted>* m_holder;
};
Counted* Counted::holderAtRelease = nullptr;

CBasePtr<Counted> make(int* releases) { return CBasePtr<Counted>(new Counted(releases)); }

class Recorder : public CRecoderCallback {
public:
    void OnError(SRErrorCode code) override
    {
        error = code;
        thread = std::this_thread::get_id();
    }
    void OnRecordingRegionBeginDrag() override {}
    void OnRecordingRegionEndDrag(CRect) override {}
    SRErrorCode error = SR_Success;
    std::thread::id thread;
};

} // namespace

static_assert(!std::is_copy_constructible<CBasePtr<Counted>>::value, "move-only");
static_assert(!std::is_copy_assignable<CBasePtr<Counted>>::value, "move-only");
static_assert(std::is_nothrow_move_constructible<CBasePtr<Counted>>::value, "cheap to return");
static_assert(!std::is_convertible<Counted*, CBasePtr<Counted>>::value, "no silent adoption");
static_assert(!std::is_convertible<CBasePtr<Counted>, bool>::value, "explicit test only");
static_assert(sizeof(CBasePtr<Counted>) == sizeof(Counted*), "one field");

class TstCBasePtr : public QObject {
    Q_OBJECT

private slots:
    void init() { FakeScreencast::reset(); }

    void emptyPointerIsSafe()
    {
        CBasePtr<Counted> p;
        QVERIFY(!p);
        QVERIFY(!p.get());
        p.reset();          // nothing to release
        CBasePtr<Counted> q(std::move(p));
        QVERIFY(!q);
    }

    void releasedOnceAtEndOfScope()
    {
        int releases = 0;
        {
            CBasePtr<Counted> p = make(&releases);
            QVERIFY(p);
            QCOMPARE(releases, 0);
        }
        QCOMPARE(releases, 1);
    }

    void moveHandsOverOwnership()
    {
        int releases = 0;
        {
            CBasePtr<Counted> a = make(&releases);
            Counted* object = a.get();
            CBasePtr<Counted> b(std::move(a));
            QVERIFY(!a);
            QCOMPARE(b.get(), object);
            CBasePtr<Counted> c;
            c = std::move(b);
            QVERIFY(!b);
            QCOMPARE(c.get(), object);
            QCOMPARE(releases, 0);
        }
        QCOMPARE(releases, 1);
    }

    // Replacing a held object releases the old one at once, and the new one
    // exactly once later.
    void moveAssignReleasesTheOldObject()
    {
        int first = 0, second = 0;
        {
            CBasePtr<Counted> p = make(&first);
            p = make(&second);
            QCOMPARE(first, 1);
            QCOMPARE(second, 0);
        }
        QCOMPARE(first, 1);
        QCOMPARE(second, 1);
    }

    void selfMoveKeepsTheObject()
    {
        int releases = 0;
        CBasePtr<Counted> p = make(&releases);
        CBasePtr<Counted>& alias = p;
        p = std::move(alias);
        QVERIFY(p);
        QCOMPARE(releases, 0);
        p.reset();
        QCOMPARE(releases, 1);
        QVERIFY(!p);
    }

    // The old object is released after the new one is stored: a camera is
    // replaced while the old one is still open, and a release that looks at
    // its holder never finds itself there.
    void resetStoresTheNewObjectBeforeReleasingTheOld()
    {
        int first = 0, second = 0;
        CBasePtr<Counted> p;
        p.reset(new Counted(&first, &p));
        Counted* replacement = new Counted(&second);
        Counted::holderAtRelease = nullptr;
        p.reset(replacement);
        QCOMPARE(first, 1);
        QCOMPARE(Counted::holderAtRelease, replacement);
        p.reset();
        QCOMPARE(second, 1);
    }

    // ---- the engine double ------------------------------------------------

    // Callbacks come on another thread, as from the real engine, and the
    // object's release is logged once.
    void firedCallbacksRunOnAnEngineThread()
    {
        Recorder callback;
        CBasePtr<CScreenRecoderObject> rec =
            scVideoRecord(&callback, kOutputMp4, "/tmp/x.mp4", VideoOpt{}, AudioOpt{}, MouseOpt{}, false,
                          kWindowListNone, nullptr, 0, nullptr, 0);
        QVERIFY(FakeScreencast::screenRecorder());
        FakeScreencast::screenRecorder()->fireError(SR_WindowClosed);
        QCOMPARE(callback.error, SR_WindowClosed);
        QVERIFY(callback.thread != std::this_thread::get_id());
        rec.reset();
        QCOMPARE(FakeScreencast::callCount("CScreenRecoderObject::release"), 1);
        QVERIFY(!FakeScreencast::screenRecorder());
    }
};

QTEST_GUILESS_MAIN(TstCBasePtr)
#include "tst_cbaseptr.moc"
