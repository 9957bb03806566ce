#pragma once

#include <QMessageBox>

#include "platform/framework/VxDialogBase.h"

class QLabel;
class QDialogButtonBox;

// Our own styled box. Buttons are named by QMessageBox::StandardButton
// values, and exec() answers with one of them.
//
// Escape, the window's close button and reject() give the escape value: the
// escape button when one was set (even one the box does not show), else
// Cancel when shown, else No when shown, else Ok when shown, else the only
// button of a one-button box, else NoButton (0).
//
// Object names for tests and style sheets: the box "VxMessageBox", its
// labels "lblMsgIcon", "lblMsgTitle" (shown only when frameless, since a
// framed box has the title in its window frame) and "lblMsgInfo".
class VxMessageBox : public VxDialogBase
{
    Q_OBJECT
public:
    // Icons: 0 none, 1 information, 2 warning, 3 critical, 4 question;
    // 6 is also critical; any other number shows the information icon.
    static constexpr int kIconInformation = 1;
    static constexpr int kIconWarning = 2;
    static constexpr int kIconQuestion = 4;
    explicit VxMessageBox(QWidget* parent = nullptr, bool frameless = false);
    ~VxMessageBox() override;

    void setIcon(int icon);
    int icon() const;
    void setMsgTitle(const QString& title);
    void setLabelInfo(const QString& text);
    QString labelInfo() const;
    void setButtons(QMessageBox::StandardButtons buttons);
    void setDefaultButton(QMessageBox::StandardButton button);
    void setEscapeButton(QMessageBox::StandardButton button);
    // Adds (or relabels) the standard button that plays the role. Buttons
    // show a check or a cross by their role; a relabelled one shows none,
    // as its words may mean the opposite of its role.
    QAbstractButton* addButton(const QString& text, QMessageBox::StandardButton role);
    QAbstractButton* button(QMessageBox::StandardButton role) const;

    int exec() override;
    void reject() override;

    static int information(QWidget* parent, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                           QMessageBox::StandardButton escapeButton = QMessageBox::NoButton,
                           bool frameless = false);
    static int warning(QWidget* parent, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                       QMessageBox::StandardButton escapeButton = QMessageBox::NoButton,
                       bool frameless = false);
    static int question(QWidget* parent, const QString& title, const QString& text,
                        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                        QMessageBox::StandardButton escapeButton = QMessageBox::NoButton,
                        bool frameless = false);

    // A box (icons as setIcon) that shows without a loop inside the caller;
    // `then` runs with the answer once it is gone, unless `context` went
    // first (see VxDialogBase::openThen). tell() has an Ok button alone.
    static VxMessageBox* openBox(int icon, QWidget* parent, const QString& title, const QString& text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                 QMessageBox::StandardButton escapeButton, QObject* context,
                                 std::function<void(int result)> then);
    static VxMessageBox* tell(int icon, QWidget* parent, const QString& title, const QString& text, QObject* context,
                              std::function<void(int result)> then);

    // A warning box whose buttons carry our own words, each playing a
    // standard role; the first is the default. The role of the one chosen.
    using Choices = QList<QPair<QMessageBox::StandardButton, QString>>;
    static int choose(QWidget* parent, const QString& title, const QString& text, const Choices& choices);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void onButtonClicked(QAbstractButton* button);
    void showAnswerIcon(QAbstractButton* button);
    int escapeResult() const;
    // A box on the heap, built but not shown.
    static VxMessageBox* makeBox(int icon, QWidget* parent, const QString& title, const QString& text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                 QMessageBox::StandardButton escapeButton, bool frameless);
    static int showBox(int icon, QWidget* parent, const QString& title, const QString& text,
                       QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                       QMessageBox::StandardButton escapeButton, bool frameless);

    QLabel* m_pIcon = nullptr;
    QLabel* m_pTitle = nullptr;
    QLabel* m_pText = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
    int m_nIcon = 0;
    int m_nResult = QMessageBox::NoButton;
    QMessageBox::StandardButton m_escape = QMessageBox::NoButton;
    QMessageBox::StandardButton m_default = QMessageBox::NoButton;
};
