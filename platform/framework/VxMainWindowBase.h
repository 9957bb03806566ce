#pragma once

#include <QWidget>

class QMenuBar;
class QVBoxLayout;
class VxApplicationUpdate;

// The frame window's base: a title area that takes custom contents above a
// client area, window position memory and the About/Update hooks.
//
// Layout: the window has one vertical box layout. A derived class may build
// it itself (a form's setupUi installs its own vertical layout holding the
// "vxMainWindowClient" frame) or add its client widgets to frameLayout().
// The title area ("vxMainWindowTitle") is put at the top of that layout when
// title contents arrive or postCreateDerivedMainWindow() runs, so it always
// sits above the client.
class VxMainWindowBase : public QWidget
{
    Q_OBJECT
public:
    explicit VxMainWindowBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~VxMainWindowBase() override;

    void appendStandardMenus(QMenuBar* menuBar);
    void postCreateDerivedMainWindow(bool framed, bool resizable, QMenuBar* menuBar);
    void setCustomTitleContents(QWidget* contents);
    QWidget* customTitleContents() const;
    // Flags without a window type keep the frame a window.
    void setWindowFlags(Qt::WindowFlags flags);

    // Position memory under "Window/<objectName>/pos".
    void saveWindowPos();
    void loadDefaultWindowPos(int x, int y, bool center);
    void setLargeIcon(const QString& path);
    void setAppEventLoopStarted();
    bool isAppEventLoopStarted() const;
    // Holds actions that belong to the application menu (preferences...):
    // the menu of appendStandardMenus() lists them above About and Quit.
    QWidget* actionHolder() const;
    // The window's vertical layout; created when the derived class has none.
    QVBoxLayout* frameLayout();

    // Menu entries of the framework call these; a derived class that returns
    // true has handled (or refused) the request.
    void showAboutDialog();
    void showUpdateDialog(VxApplicationUpdate* update);

public slots:
    virtual void on_changeSkin();

protected:
    virtual bool derivedProcGenerateWindowTitle(QString& title);
    virtual bool derivedProcShowAboutDialog();
    virtual bool derivedProcShowUpdateDialog(VxApplicationUpdate* update);
    virtual bool doSomethingBeforeLanguageChanged(const QString& language);

private:
    void ensureTitleArea();
    QString positionKey() const;

    QWidget* m_pTitleArea = nullptr;
    QWidget* m_pTitleContents = nullptr;
    QWidget* m_pActionHolder = nullptr;
    bool m_bLoopStarted = false;
};
