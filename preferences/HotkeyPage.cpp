#include "preferences/HotkeyPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/RecordTypes.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "preferences/CMASShortcut.h"
#include "widgets/CustomKeySequenceEdit.h"

namespace {

QString keyText(const QKeySequence& sequence)
{
    return sequence.toString(QKeySequence::NativeText);
}

} // namespace

HotkeyPage::HotkeyPage(QWidget* parent) : OptionPage(parent)
{
    setObjectName(QStringLiteral("HotkeyPage"));
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->setSpacing(-1);
    auto* hint = new QLabel(tr("Click a box and press the new keys, with Ctrl, Shift or the "
                               "Super key. Backspace removes the hotkey."),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    addRow(grid, RP_HotKey_Stop, tr("Start/Stop recording"));
    addRow(grid, RP_HotKey_Pause, tr("Pause/Resume"));
    addRow(grid, RP_HotKey_Snapshot, tr("Screenshot"));
    addRow(grid, RP_HotKey_WebCam, tr("Webcam on/off"));
    addRow(grid, RP_HotKey_Float, tr("Show/Hide the control bar"));
    layout->addLayout(grid);

    auto* defaults = new QPushButton(tr("Restore Defaults"), this);
    defaults->setObjectName(QStringLiteral("btnHotkeyDefaults"));
    connect(defaults, &QPushButton::clicked, this, &HotkeyPage::restoreDefaults);
    layout->addWidget(defaults, 0, Qt::AlignLeft);
    layout->addStretch(1);
    load();
}

void HotkeyPage::addRow(QGridLayout* grid, int id, const QString& name)
{
    const int line = grid->rowCount();
    auto* label = new QLabel(name, this);
    auto* edit = new CustomKeySequenceEdit(this);
    edit->setObjectName(QStringLiteral("hotkey_%1").arg(CMASShortcut::settingsKey(id)));
    label->setBuddy(edit);
    auto* warning = new QLabel(this);
    warning->setObjectName(QStringLiteral("lblHotkeyWarning"));
    warning->setStyleSheet(QStringLiteral("color: #f25b5b;"));
    grid->addWidget(label, line, 0);
    grid->addWidget(edit, line, 1);
    grid->addWidget(warning, line + 1, 1);
    warning->hide();
    connect(edit, &QKeySequenceEdit::keySequenceChanged, this, &HotkeyPage::changed);
    m_rows.append({id, edit, warning});
}

void HotkeyPage::load()
{
    m_loaded.clear();
    for (const Row& row : m_rows) {
        const QKeySequence sequence = CMASShortcut::keySequence(row.id);
        m_loaded << sequence;
        const QSignalBlocker quiet(row.edit);
        row.edit->setKeySequence(sequence);
    }
    showTaken();
    remember();
}

QKeySequence HotkeyPage::edited(const Row& row) const
{
    const QKeySequence sequence = row.edit->keySequence();
    return sequence.isEmpty() ? QKeySequence() : QKeySequence(sequence[0]);
}

QVariantList HotkeyPage::values() const
{
    QVariantList shown;
    for (const Row& row : m_rows)
        shown << edited(row).toString(QKeySequence::PortableText);
    return shown;
}

void HotkeyPage::restoreDefaults()
{
    for (const Row& row : m_rows)
        row.edit->setKeySequence(CMASShortcut::defaultKeySequence(row.id));
}

QString HotkeyPage::checkEdited() const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        const QKeySequence sequence = edited(m_rows[i]);
        if (sequence.isEmpty())
            continue;
        unsigned int keysym = 0;
        unsigned int modifiers = 0;
        if (!CMASShortcut::toNativeKey(sequence, keysym, modifiers))
            return tr("%1 cannot be used as a hotkey. Please choose another key.").arg(keyText(sequence));
        for (int j = 0; j < i; ++j) {
            if (edited(m_rows[j]) == sequence)
                return tr("%1 is set for two actions. Please choose another key for one of them.")
                    .arg(keyText(sequence));
        }
    }
    return QString();
}

void HotkeyPage::store(const QVector<QKeySequence>& sequences)
{
    VxSettings* settings = VxSettings::instance();
    for (int i = 0; i < m_rows.size(); ++i) {
        // An empty text means "no hotkey", unlike an absent one (the default).
        settings->setApplicationParam(CMASShortcut::settingsKey(m_rows[i].id),
                                      sequences.value(i).toString(QKeySequence::PortableText));
    }
    CMASShortcut::instance()->reload();
}

bool HotkeyPage::apply(QString* error)
{
    if (!isModified())
        return true;
    const QString refusal = checkEdited();
    if (!refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return false;
    }
    QVector<QKeySequence> sequences;
    for (const Row& row : m_rows)
        sequences << edited(row);
    store(sequences);

    // Only a key the user just chose is refused for being taken: one that
    // was already taken before is no news, and keeping it lets the grab
    // succeed later, once the other program lets go.
    const QList<int> failed = CMASShortcut::instance()->failedHotKeys();
    for (int i = 0; i < m_rows.size(); ++i) {
        if (!failed.contains(m_rows[i].id) || sequences[i] == m_loaded.value(i))
            continue;
        const QString key = keyText(sequences[i]);
        Log("HotkeyPage", LogLevel::Error, "hotkey %d: %s is held by another program", m_rows[i].id, qPrintable(key));
        store(m_loaded);
        if (error)
            *error = tr("%1 is used by another program. Please choose another key.").arg(key);
        showTaken();
        return false;
    }
    m_loaded = sequences;
    showTaken();
    remember();
    return true;
}

void HotkeyPage::showTaken()
{
    const QList<int> failed = CMASShortcut::instance()->failedHotKeys();
    for (const Row& row : m_rows) {
        row.warning->setText(tr("This key is used by another program."));
        row.warning->setVisible(failed.contains(row.id));
    }
}

void HotkeyPage::showEvent(QShowEvent* event)
{
    OptionPage::showEvent(event);
    CMASShortcut::instance()->unregisterAll();
}

void HotkeyPage::hideEvent(QHideEvent* event)
{
    OptionPage::hideEvent(event);
    CMASShortcut::instance()->reload();
}
