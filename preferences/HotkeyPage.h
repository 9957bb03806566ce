#pragma once

#include <QKeySequence>
#include <QVector>

#include "preferences/OptionPage.h"

class CustomKeySequenceEdit;
class QLabel;

// The preferences page of the five global hotkeys. Edits are kept on the
// page until apply(), which stores them and grabs the new keys at once.
//
// While the page is shown our own hotkeys are released: a grabbed key never
// reaches the focused window, so it could not be typed into the page.
class HotkeyPage : public OptionPage
{
    Q_OBJECT
public:
    explicit HotkeyPage(QWidget* parent = nullptr);

    // Shows the stored hotkeys and marks those another program holds.
    void load() override;
    // Stores the edited hotkeys and grabs them. Refused, with nothing
    // stored and a message for the user in `error`, when two hotkeys share
    // a key, a key cannot be a global hotkey, or another program holds a
    // key that was changed.
    bool apply(QString* error) override;

protected:
    QVariantList values() const override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Row {
        int id;
        CustomKeySequenceEdit* edit;
        QLabel* warning;
    };

    void addRow(class QGridLayout* grid, int id, const QString& name);
    void restoreDefaults();
    QKeySequence edited(const Row& row) const;
    // The refusal of the edited keys before anything is stored; empty when
    // they may be stored.
    QString checkEdited() const;
    void store(const QVector<QKeySequence>& sequences);
    void showTaken();

    QVector<Row> m_rows;
    QVector<QKeySequence> m_loaded;
};
