#pragma once

#include <QWidget>

class QMenuBar;

class VxWidgetBase : public QWidget
{
    Q_OBJECT
public:
    explicit VxWidgetBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~VxWidgetBase() override;

    void postCreateDerivedWidget(bool framed, bool resizable = false, QMenuBar* menuBar = nullptr);
    // Flags without a window type keep a top-level widget a window.
    void setWindowFlags(Qt::WindowFlags flags);
};
