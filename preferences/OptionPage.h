#pragma once

#include <QColor>
#include <QIcon>
#include <QToolButton>
#include <QVariantList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

// One page of the preferences. A page edits copies of the settings and
// writes them only in apply(), so closing the dialog without OK leaves the
// store as it was. Whether a page has unsaved edits is worked out by
// comparing what its controls show with what they showed right after
// load(): editing a value and editing it back is no change.
class OptionPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionPage(QWidget* parent = nullptr);

    // Shows the stored settings.
    virtual void load() = 0;
    // Stores what the page shows; false (and a sentence for the user) when
    // a value cannot be used, in which case nothing of this page is stored.
    virtual bool apply(QString* error) = 0;
    bool isModified() const;
    // One of the preferences' own pictures, by file name.
    static QIcon icon(const char* name);
    // Gives every section's label column the width of the widest, so the
    // fields of all sections line up.
    void alignLabels();

signals:
    void changed();

protected:
    // What the controls show, in a fixed order.
    virtual QVariantList values() const = 0;
    // Called at the end of load(): the shown values become the unchanged state.
    void remember();
    // Forwards the control's edits as changed().
    void watch(QCheckBox* box);
    void watch(QComboBox* combo);
    void watch(QLineEdit* edit);

    // Layout helpers shared by the pages: a titled group whose form has
    // its labels right-aligned in one column.
    QFormLayout* addSection(const QString& title, const char* objectName);
    QCheckBox* addCheck(QFormLayout* form, const QString& text, const char* objectName);
    QComboBox* addCombo(QFormLayout* form, const QString& label, const char* objectName);
    // The entry whose data equals `value`; the first entry when none does.
    static void selectData(QComboBox* combo, const QVariant& value);

private:
    QVariantList m_loaded;
    QList<QFormLayout*> m_forms;
};

// A button showing a colour swatch; a click offers the colour chooser.
class ColourButton : public QToolButton
{
    Q_OBJECT
public:
    explicit ColourButton(QWidget* parent = nullptr);
    QColor colour() const { return m_colour; }
    void setColour(const QColor& colour);

signals:
    void colourChanged(const QColor& colour);

private:
    void choose();

    QColor m_colour;
};
