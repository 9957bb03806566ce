#pragma once

#include <QString>

#include "VxMainWindowBase.h"

namespace Ui {
class MainWindowBase;
class TitleTool;
}
class QFrame;
class QLabel;

// The application's outer frame: title bar tools, always-on-top switch and
// the client area that holds the home window.
class MainWindowBase : public VxMainWindowBase
{
    Q_OBJECT
    Q_PROPERTY(QString normalIcon READ normalIcon WRITE setNormalIcon)
    Q_PROPERTY(QString pauseIcon READ pauseIcon WRITE setPauseIcon)
    Q_PROPERTY(QString recordingIcon READ recordingIcon WRITE setRecordingIcon)
public:
    explicit MainWindowBase(QWidget* parent = nullptr);
    ~MainWindowBase() override;

    // No family is configured for any language, so this is always empty and
    // start-up keeps the system font.
    static QString appFontConf(const QString& language);
    static bool fontExist(const QString& family);

    QString normalIcon() const { return m_strNormalIcon; }
    QString pauseIcon() const { return m_strPauseIcon; }
    QString recordingIcon() const { return m_strRecordingIcon; }
    // The skin hands the status-bar item its icons through these.
    void setNormalIcon(const QString& path);
    void setPauseIcon(const QString& path);
    void setRecordingIcon(const QString& paths);

signals:
    void DeviecArriveal();

public slots:
    void onFeedback();
    void onDropdownShow() {}
    void onDropdownHide() {}
    void onMenuBtnClicked();
    void onShowMini() {}
    void onTopHint();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool derivedProcGenerateWindowTitle(QString& title) override;
    bool doSomethingBeforeLanguageChanged(const QString& language) override;

private:
    void fillTitle();
    Qt::WindowFlags frameFlags(bool topMost) const;

    Ui::MainWindowBase* m_pUi = nullptr;
    Ui::TitleTool* m_pTitleUi = nullptr;
    QFrame* m_pTitleFrame = nullptr; // set once the title form is built
    QLabel* m_pPlaceholder = nullptr;
    QString m_strNormalIcon;
    QString m_strPauseIcon;
    QString m_strRecordingIcon;
};
