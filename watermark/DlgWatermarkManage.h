#pragma once

#include <QList>

#include "platform/framework/VxDialogBase.h"
#include "watermark/WaterMarkData.h"

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class WaterMarkPreview;

// The watermark manager: makes, edits, places and deletes presets on a
// working copy of the store's list, which Save (or Apply) writes back.
// What it leaves for the tool strip, read after finished(): whether its
// last choice still stands, whether presets were written and the preset
// chosen with Apply.
class DlgWatermarkManage : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgWatermarkManage(QWidget* parent = nullptr);

    // Builds the dialog; called once between construction and exec().
    void onInitUI();

    // Cleared when the user left through the unsaved-changes question:
    // whatever was applied before may then not be what the file holds.
    bool m_bUseLastSelect = true;
    bool m_bSaved = false;
    // The preset in use when the manager closes: the one in use when it
    // opened unless Apply chose another; -1 means no watermark.
    int m_nSelectIndex = -1;

    bool hasUnsavedChanges() const;
    const QList<WaterMarkData>& workingList() const { return m_lstWorking; }

    // The picture chooser; tests put their own in.
    using FileChooser = QString (*)(QWidget* parent);
    static void setFileChooser(FileChooser chooser);

public slots:
    void onAddText();
    void onAddPicture();
    void onDelete();
    void onSave();
    void onApply();
    void reject() override;

protected:
    void retranslateDerived() override;

private:
    QWidget* buildListSide();
    QWidget* buildEditor();
    QWidget* buildTextPage();
    QWidget* buildPicturePage();
    QWidget* buildButtons();
    void connectEditor();
    void fillList();
    void onRowChanged(int row);
    void showPreset(const WaterMarkData& data);
    void showPlacement(const WaterMarkData& data);
    void edited();
    void onPlaced(const WaterMarkData& data);
    void onChooseColour();
    void onChoosePicture();
    QString uniqueName(const QString& base, int exceptRow) const;
    void addPreset(WaterMarkData data);

    QList<WaterMarkData> m_lstWorking;
    int m_nRow = -1;
    bool m_bLoading = false;

    QListWidget* m_pList = nullptr;
    QPushButton* m_pBtnAddText = nullptr;
    QPushButton* m_pBtnAddPicture = nullptr;
    QPushButton* m_pBtnDelete = nullptr;
    WaterMarkPreview* m_pPreview = nullptr;
    QLineEdit* m_pEditName = nullptr;
    QStackedWidget* m_pPages = nullptr;
    QLineEdit* m_pEditText = nullptr;
    QFontComboBox* m_pCmbFont = nullptr;
    QSpinBox* m_pSpinFontSize = nullptr;
    QCheckBox* m_pChkBold = nullptr;
    QCheckBox* m_pChkItalic = nullptr;
    QPushButton* m_pBtnColour = nullptr;
    QLineEdit* m_pEditPicture = nullptr;
    QPushButton* m_pBtnBrowse = nullptr;
    QSpinBox* m_pSpinPicSize = nullptr;
    QSpinBox* m_pSpinOpacity = nullptr;
    QComboBox* m_pCmbPosition = nullptr;
    QSpinBox* m_pSpinMarginX = nullptr;
    QSpinBox* m_pSpinMarginY = nullptr;
    QPushButton* m_pBtnSave = nullptr;
    QPushButton* m_pBtnApply = nullptr;
    QPushButton* m_pBtnClose = nullptr;
};
