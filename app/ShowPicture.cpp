#include "app/ShowPicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

namespace {

struct Settings
{
    QString folder;
    int ticksMs = 3000;
    int endDelayMs = 500;
};

Settings& settings()
{
    static Settings s;
    return s;
}

// A countdown with no folder ends this soon, without showing anything.
const int kNoPicturesDelayMs = 10;

} // namespace

ShowPicture::ShowPicture(QObject* parent)
    : QObject(parent)
    , m_pTimer(new QTimer)
    , m_nTicksMs(settings().ticksMs)
    , m_nEndDelayMs(settings().endDelayMs)
{
    m_strFolder = settings().folder.isEmpty()
                      ? QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/countdown")
                      : settings().folder;
    // QDir's default listing includes "." and "..": the ticks run two
    // periods past the last picture, which keeps it on screen longer.
    if (QDir().exists(m_strFolder))
        m_nCount = static_cast<int>(QDir(m_strFolder).count());
    m_pTimer->setSingleShot(false);
    connect(m_pTimer, &QTimer::timeout, this, &ShowPicture::onShowPicture);
}

ShowPicture::~ShowPicture()
{
    delete m_pTimer;
    // Destroyed while ticking: the overlay goes without its closing call.
    m_picture.reset();
}

int ShowPicture::tickPeriod() const
{
    return m_nCount > 0 ? m_nTicksMs / m_nCount : 0;
}

void ShowPicture::start()
{
    if (m_nCount == 0) {
        QTimer::singleShot(kNoPicturesDelayMs, this, [this] { emit showPicEnd(); });
        return;
    }
    m_pTimer->start(tickPeriod());
}

void ShowPicture::onShowPicture()
{
    ++m_nCurrent;
    const QString path = m_strFolder + QLatin1Char('/') + QString::number(m_nCurrent) + QStringLiteral(".png");
    const QPixmap picture(path);
    if (!picture.isNull()) {
        const QByteArray utf8 = path.toUtf8();
        if (!m_picture)
            m_picture = ShowPictureOnScreen(utf8.constData());
        else
            m_picture->show(utf8.constData());
    }
    if (m_nCurrent == m_nCount) {
        if (m_picture) {
            m_picture->close(0);
            m_picture.reset();
        }
        m_pTimer->stop();
        QTimer::singleShot(m_nEndDelayMs, this, [this] { emit showPicEnd(); });
    }
}

void ShowPicture::setFolderOverride(const QString& folder)
{
    settings().folder = folder;
}

void ShowPicture::setDurations(int ticksMs, int endDelayMs)
{
    settings().ticksMs = ticksMs;
    settings().endDelayMs = endDelayMs;
}
