// The recording session's state machine: every request in every state,
// taken or refused, the mirrored flags and the signals after each, the
// task claim, and whole roads as the windows run them.
#include <QSignalSpy>
#include <QtTest>

#include <functional>

#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "schedule/TaskManage.h"
#include "tests/support/SessionHelpers.h"

namespace {

using S = RecordingSession::State;
using Request = std::function<bool(RecordingSession*)>;

const S kAll[] = {RecordingSession::Session_Idle,      RecordingSession::Session_Starting,
                  RecordingSession::Session_Countdown, RecordingSession::Session_Recording,
                  RecordingSession::Session_Paused,    RecordingSession::Session_Stopping,
                  RecordingSession::Session_Previewing, RecordingSession::Session_Saving};

struct Transition
{
    const char* name;
    Request call;
    // Where the request is taken and where it leads; refused everywhere else.
    QList<QPair<S, S>> taken;
};

const S Idle = RecordingSession::Session_Idle;
const S Starting = RecordingSession::Session_Starting;
const S Countdown = RecordingSession::Session_Countdown;
const S Recording = RecordingSession::Session_Recording;
const S Paused = RecordingSession::Session_Paused;
const S Stopping = RecordingSession::Session_Stopping;
const S Previewing = RecordingSession::Session_Previewing;
const S Saving = RecordingSession::Session_Saving;

const QList<Transition>& transitions()
{
    static const QList<Transition> table = {
        {"requestStart", &RecordingSession::requestStart, {{Idle, Starting}}},
        {"beginCountdown", &RecordingSession::beginCountdown, {{Starting, Countdown}}},
        {"recordingStarted", &RecordingSession::recordingStarted, {{Starting, Recording}, {Countdown, Recording}}},
        {"abandonStart", &RecordingSession::abandonStart, {{Idle, Idle}, {Starting, Idle}, {Countdown, Idle}}},
        {"requestPause", &RecordingSession::requestPause, {{Recording, Paused}}},
        {"requestResume", &RecordingSession::requestResume, {{Paused, Recording}}},
        {"requestStop",
         &RecordingSession::requestStop,
         {{Starting, Stopping}, {Countdown, Stopping}, {Recording, Stopping}, {Paused, Stopping}}},
        {"previewOpened", &RecordingSession::previewOpened, {{Idle, Previewing}, {Stopping, Previewing}}},
        {"savingStarted", &RecordingSession::savingStarted, {{Previewing, Saving}}},
        {"savingFinished", &RecordingSession::savingFinished, {{Saving, Previewing}}},
        {"previewClosed", &RecordingSession::previewClosed, {{Previewing, Idle}, {Saving, Idle}}},
        {"finish",
         [](RecordingSession* s) {
             s->finish();
             return true;
         },
         {{Idle, Idle},
          {Starting, Idle},
          {Countdown, Idle},
          {Recording, Idle},
          {Paused, Idle},
          {Stopping, Idle},
          {Previewing, Idle},
          {Saving, Idle}}},
    };
    return table;
}

// The flags the rest of the program reads, per state: recording, paused,
// previewing.
struct Mirrors
{
    bool recording;
    bool paused;
    bool previewing;
};

Mirrors mirrorsOf(S state)
{
    switch (state) {
    case RecordingSession::Session_Starting:
    case RecordingSession::Session_Countdown:
    case RecordingSession::Session_Recording:
        return {true, false, false};
    case RecordingSession::Session_Paused:
        return {true, true, false};
    case RecordingSession::Session_Previewing:
    case RecordingSession::Session_Saving:
        return {false, false, true};
    case RecordingSession::Session_Idle:
    case RecordingSession::Session_Stopping:
        break;
    }
    return {false, false, false};
}

} // namespace

Q_DECLARE_METATYPE(Request)

class TestRecordingSession : public QObject
{
    Q_OBJECT

private:
    RecordingSession* session = RecordingSession::instance();

    void verifyMirrors(S state)
    {
        const Mirrors expected = mirrorsOf(state);
        QCOMPARE(session->isRecording(), expected.recording);
        QCOMPARE(session->isPaused(), expected.paused);
        QCOMPARE(session->isPreviewing(), expected.previewing);
        QCOMPARE(session->recordingFlag(), expected.recording);
        QCOMPARE(session->pausedFlag(), expected.paused);
        QCOMPARE(session->previewingFlag(), expected.previewing);
        // What the rest of the program reads.
        const RecordParameter* params = RecordParameter::instance();
        QCOMPARE(params->m_bRecording, expected.recording);
        QCOMPARE(params->m_bPaused, expected.paused);
        QCOMPARE(params->m_bPreviewing, expected.previewing);
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<RecordingSession::State>("RecordingSession::State");
    }

    void init()
    {
        testsupport::resetSession();
        QCOMPARE(session->state(), Idle);
    }

    // Every request in every state: taken where the table says, leading
    // where it says, refused without a trace everywhere else.
    void everyRequestInEveryState_data()
    {
        QTest::addColumn<Request>("call");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("to");
        for (const Transition& t : transitions()) {
            for (S from : kAll) {
                bool taken = false;
                S to = from;
                for (const auto& pair : t.taken) {
                    if (pair.first == from) {
                        taken = true;
                        to = pair.second;
                    }
                }
                const QByteArray row = QByteArray(t.name) + " in " + RecordingSession::stateName(from);
                QTest::newRow(row.constData()) << t.call << int(from) << taken << int(to);
            }
        }
    }

    void everyRequestInEveryState()
    {
        QFETCH(Request, call);
        QFETCH(int, from);
        QFETCH(bool, taken);
        QFETCH(int, to);
        testsupport::driveSession(S(from));
        QCOMPARE(int(session->state()), from);
        verifyMirrors(S(from));

        QSignalSpy changes(session, &RecordingSession::stateChanged);
        QSignalSpy claims(session, &RecordingSession::taskingChanged);
        QCOMPARE(call(session), taken);
        QCOMPARE(int(session->state()), to);
        verifyMirrors(S(to));
        QCOMPARE(claims.count(), 0);   // no claim was held
        if (to == from) {
            QCOMPARE(changes.count(), 0);
        } else {
            QCOMPARE(changes.count(), 1);
            QCOMPARE(changes.at(0).at(0).value<S>(), S(to));
            QCOMPARE(changes.at(0).at(1).value<S>(), S(from));
        }
    }

    // The state names the log shows: one each, none left out.
    void stateNames()
    {
        QSet<QByteArray> names;
        for (S state : kAll)
            names.insert(RecordingSession::stateName(state));
        QCOMPARE(names.size(), int(sizeof(kAll) / sizeof(kAll[0])));
        QVERIFY(!names.contains("?"));
    }

    // A task claims only an idle session without a claim.
    void taskClaimTakenOnlyWhenIdle_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("taken");
        for (S state : kAll)
            QTest::newRow(RecordingSession::stateName(state)) << int(state) << (state == Idle);
    }

    void taskClaimTakenOnlyWhenIdle()
    {
        QFETCH(int, state);
        QFETCH(bool, taken);
        testsupport::driveSession(S(state));
        QSignalSpy claims(session, &RecordingSession::taskingChanged);
        QCOMPARE(session->beginTask(), taken);
        QCOMPARE(session->isTasking(), taken);
        QCOMPARE(session->taskingFlag(), taken);
        QCOMPARE(TaskManage::instance()->isTasking, taken);
        QCOMPARE(claims.count(), taken ? 1 : 0);
        // A second claim on top of the first is refused.
        QVERIFY(!session->beginTask());
        QCOMPARE(claims.count(), taken ? 1 : 0);
    }

    // The claim lasts through its recording, its preview and the end of
    // the road (the end action depends on it) and goes only with endTask
    // or a start that did not happen.
    void taskClaimLifetime_data()
    {
        QTest::addColumn<Request>("road");
        QTest::addColumn<bool>("held");
        QTest::newRow("recorded and previewed") << Request([](RecordingSession* s) {
            return s->requestStart() && s->beginCountdown() && s->recordingStarted() && s->requestStop()
                   && s->previewOpened() && s->savingStarted() && s->savingFinished() && s->previewClosed();
        }) << true;
        QTest::newRow("nothing recorded") << Request([](RecordingSession* s) {
            s->requestStart();
            s->recordingStarted();
            s->requestStop();
            s->finish();
            return true;
        }) << true;
        QTest::newRow("start refused") << Request([](RecordingSession* s) {
            return s->requestStart() && s->abandonStart();
        }) << false;
        QTest::newRow("countdown cancelled") << Request([](RecordingSession* s) {
            return s->requestStart() && s->beginCountdown() && s->abandonStart();
        }) << false;
        QTest::newRow("start never came") << Request([](RecordingSession* s) { return s->abandonStart(); }) << false;
        QTest::newRow("abandon refused while recording") << Request([](RecordingSession* s) {
            return s->requestStart() && s->recordingStarted() && !s->abandonStart();
        }) << true;
    }

    void taskClaimLifetime()
    {
        QFETCH(Request, road);
        QFETCH(bool, held);
        QVERIFY(session->beginTask());
        QVERIFY(road(session));
        QCOMPARE(session->isTasking(), held);
        QCOMPARE(TaskManage::instance()->isTasking, held);
        QCOMPARE(session->endTask(), held);
        QVERIFY(!session->isTasking());
        QVERIFY(!session->endTask());
    }

    // A slot that hears of a change reads the new state and mirrors.
    void signalSeesTheNewMirrors()
    {
        bool recording = false;
        bool paused = true;
        S seen = Idle;
        connect(session, &RecordingSession::stateChanged, this, [&](S state) {
            seen = state;
            recording = session->recordingFlag();
            paused = session->pausedFlag();
        });
        QVERIFY(session->requestStart());
        QCOMPARE(seen, Starting);
        QVERIFY(recording);
        QVERIFY(!paused);
        QVERIFY(session->recordingStarted() && session->requestPause());
        QCOMPARE(seen, Paused);
        QVERIFY(paused);
        session->disconnect(this);
    }
};

QTEST_GUILESS_MAIN(TestRecordingSession)
#include "tst_recording_session.moc"
