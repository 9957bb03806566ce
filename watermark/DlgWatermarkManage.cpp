#include "watermark/DlgWatermarkManage.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "watermark/WaterMarkDataManage.h"
#include "watermark/WaterMarkPicture.h"
#include "watermark/WaterMarkPreview.h"
#include "widgets/VxComboboxViewItemDelegate.h"

namespace {

const char* const kPositions[] = {
    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Top left"),    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Top"),
    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Top right"),   QT_TRANSLATE_NOOP("DlgWatermarkManage", "Left"),
    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Centre"),      QT_TRANSLATE_NOOP("DlgWatermarkManage", "Right"),
    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Bottom left"), QT_TRANSLATE_NOOP("DlgWatermarkManage", "Bottom"),
    QT_TRANSLATE_NOOP("DlgWatermarkManage", "Bottom right")};

const char* const kSheet = R"(
#DlgWatermarkManage { background: #ffffff; }
#lstPresets { border: 1px solid #e1e4e8; border-radius: 6px; outline: none; color: #3c4650; }
#lstPresets::item { height: 30px; padding-left: 6px; }
#lstPresets::item:hover { background: #eef0f2; }
#lstPresets::item:selected { background: #fbe9ea; color: #d9252b; }
#DlgWatermarkManage QPushButton { border: 1px solid #d5d9de; border-radius: 5px; padding: 5px 12px;
                                  color: #3c4650; background: #ffffff; }
#DlgWatermarkManage QPushButton:hover { color: #d9252b; border-color: #d9252b; }
#DlgWatermarkManage QPushButton:disabled { color: #a8b0b8; border-color: #e1e4e8; }
#DlgWatermarkManage #btnApply { background: #d9252b; border-color: #d9252b; color: #ffffff; }
#DlgWatermarkManage #btnApply:hover { background: #c01f25; color: #ffffff; }
)";

DlgWatermarkManage::FileChooser g_chooser = nullptr;

QString choosePictureFile(QWidget* parent)
{
    if (g_chooser)
        return g_chooser(parent);
    return QFileDialog::getOpenFileName(parent, DlgWatermarkManage::tr("Choose a picture"), QString(),
                                        DlgWatermarkManage::tr("Pictures (*.png *.jpg *.jpeg *.bmp *.svg)"));
}

// The file the user chose, once it proved to be a picture we can use; an
// empty string after a cancel or a refusal, which is explained.
QString chooseUsablePicture(QWidget* parent)
{
    const QString path = choosePictureFile(parent);
    if (path.isEmpty())
        return QString();
    QString why;
    if (WaterMarkPicture::read(path, WaterMarkPreview::referenceFrame(), &why).isNull()) {
        VxMessageBox::warning(parent, VxProductInfo::instance()->productName(), why, QMessageBox::Ok);
        return QString();
    }
    return path;
}

QPushButton* iconButton(QWidget* parent, const char* name, const char* icon)
{
    auto* button = new QPushButton(QIcon(QLatin1String(icon)), QString(), parent);
    button->setObjectName(QLatin1String(name));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QSpinBox* spin(QWidget* parent, const char* name, int low, int high, const QString& suffix = QString())
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(low, high);
    box->setSuffix(suffix);
    return box;
}

QLabel* rowLabel(QWidget* parent, const char* source)
{
    auto* label = new QLabel(parent);
    label->setProperty("source", QByteArray(source));
    // The same width in the outer form and in the kind's own rows, so that
    // every field starts at one line.
    label->setFixedWidth(72);
    return label;
}

} // namespace

void DlgWatermarkManage::setFileChooser(FileChooser chooser)
{
    g_chooser = chooser;
}

DlgWatermarkManage::DlgWatermarkManage(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("DlgWatermarkManage"));
    m_lstWorking = WaterMarkDataManage::instance()->getWaterMarkDataList();
}

void DlgWatermarkManage::onInitUI()
{
    if (m_pList)
        return;
    setStyleSheet(QLatin1String(kSheet));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(buildListSide());
    body->addWidget(buildEditor(), 1);
    layout->addLayout(body, 1);
    layout->addWidget(buildButtons());
    retranslateDerived();
    connectEditor();
    postCreateDerivedDialog(true);
    fillList();
    // Opens on the preset in use, else on the first one.
    const int current = WaterMarkDataManage::instance()->m_nCurrentIndex;
    const bool inUse = current >= 0 && current < m_pList->count();
    m_pList->setCurrentRow(inUse ? current : 0);
    // Leaving without Apply keeps the preset in use, followed through
    // deletions; only Apply, or deleting that preset, changes it.
    m_nSelectIndex = inUse ? current : -1;
    resize(940, 540);
}

QWidget* DlgWatermarkManage::buildListSide()
{
    auto* side = new QWidget(this);
    side->setFixedWidth(300);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pList = new QListWidget(side);
    m_pList->setObjectName(QStringLiteral("lstPresets"));
    m_pList->setIconSize(QSize(16, 16));
    layout->addWidget(m_pList, 1);
    auto* row = new QHBoxLayout;
    m_pBtnAddText = iconButton(side, "btnAddText", ":/watermark/text.svg");
    m_pBtnAddPicture = iconButton(side, "btnAddPicture", ":/watermark/picture.svg");
    m_pBtnDelete = iconButton(side, "btnDelete", ":/watermark/delete.svg");
    row->addWidget(m_pBtnAddText);
    row->addWidget(m_pBtnAddPicture);
    row->addWidget(m_pBtnDelete);
    layout->addLayout(row);
    return side;
}

QWidget* DlgWatermarkManage::buildEditor()
{
    auto* editor = new QWidget(this);
    auto* layout = new QVBoxLayout(editor);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pPreview = new WaterMarkPreview(editor);
    layout->addWidget(m_pPreview, 1);

    auto* form = new QFormLayout;
    form->setHorizontalSpacing(12);
    m_pEditName = new QLineEdit(editor);
    m_pEditName->setObjectName(QStringLiteral("editName"));
    form->addRow(rowLabel(editor, QT_TR_NOOP("Name")), m_pEditName);
    m_pPages = new QStackedWidget(editor);
    m_pPages->addWidget(buildTextPage());
    m_pPages->addWidget(buildPicturePage());
    form->addRow(m_pPages);
    m_pSpinOpacity = spin(editor, "spinOpacity", 0, 100, QStringLiteral(" %"));
    form->addRow(rowLabel(editor, QT_TR_NOOP("Opacity")), m_pSpinOpacity);
    auto* place = new QHBoxLayout;
    m_pCmbPosition = new QComboBox(editor);
    VxComboboxViewItemDelegate::install(m_pCmbPosition);
    m_pCmbPosition->setObjectName(QStringLiteral("cmbPosition"));
    for (int i = 0; i < 9; ++i)
        m_pCmbPosition->addItem(QString());
    m_pSpinMarginX = spin(editor, "spinMarginX", 0, 1920, QStringLiteral(" px"));
    m_pSpinMarginY = spin(editor, "spinMarginY", 0, 1080, QStringLiteral(" px"));
    place->addWidget(m_pCmbPosition, 1);
    place->addWidget(m_pSpinMarginX);
    place->addWidget(m_pSpinMarginY);
    form->addRow(rowLabel(editor, QT_TR_NOOP("Position")), place);
    layout->addLayout(form);
    return editor;
}

QWidget* DlgWatermarkManage::buildTextPage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(12);
    m_pEditText = new QLineEdit(page);
    m_pEditText->setObjectName(QStringLiteral("editText"));
    form->addRow(rowLabel(page, QT_TR_NOOP("Text")), m_pEditText);
    auto* font = new QHBoxLayout;
    m_pCmbFont = new QFontComboBox(page);
    m_pCmbFont->setObjectName(QStringLiteral("cmbFont"));
    m_pSpinFontSize = spin(page, "spinFontSize", 6, 400, QStringLiteral(" px"));
    m_pChkBold = new QCheckBox(page);
    m_pChkBold->setObjectName(QStringLiteral("chkBold"));
    m_pChkItalic = new QCheckBox(page);
    m_pChkItalic->setObjectName(QStringLiteral("chkItalic"));
    m_pBtnColour = iconButton(page, "btnColour", ":/watermark/colour.svg");
    font->addWidget(m_pCmbFont, 1);
    font->addWidget(m_pSpinFontSize);
    font->addWidget(m_pChkBold);
    font->addWidget(m_pChkItalic);
    font->addWidget(m_pBtnColour);
    form->addRow(rowLabel(page, QT_TR_NOOP("Font")), font);
    return page;
}

QWidget* DlgWatermarkManage::buildPicturePage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(12);
    auto* file = new QHBoxLayout;
    m_pEditPicture = new QLineEdit(page);
    m_pEditPicture->setObjectName(QStringLiteral("editPicture"));
    m_pEditPicture->setReadOnly(true);
    m_pBtnBrowse = iconButton(page, "btnBrowse", ":/watermark/picture.svg");
    file->addWidget(m_pEditPicture, 1);
    file->addWidget(m_pBtnBrowse);
    form->addRow(rowLabel(page, QT_TR_NOOP("Picture")), file);
    m_pSpinPicSize = spin(page, "spinPicSize", 1, 100, QStringLiteral(" %"));
    form->addRow(rowLabel(page, QT_TR_NOOP("Width")), m_pSpinPicSize);
    return page;
}

QWidget* DlgWatermarkManage::buildButtons()
{
    auto* bar = new QWidget(this);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pBtnSave = iconButton(bar, "btnSave", ":/watermark/save.svg");
    m_pBtnApply = iconButton(bar, "btnApply", ":/watermark/apply.svg");
    m_pBtnClose = iconButton(bar, "btnClose", ":/watermark/none.svg");
    layout->addWidget(m_pBtnSave);
    layout->addStretch(1);
    layout->addWidget(m_pBtnApply);
    layout->addWidget(m_pBtnClose);
    return bar;
}

void DlgWatermarkManage::retranslateDerived()
{
    if (!m_pList)
        return;
    setWindowTitle(tr("Manage Watermarks"));
    m_pBtnAddText->setText(tr("Text"));
    m_pBtnAddPicture->setText(tr("Picture"));
    m_pBtnDelete->setText(tr("Delete"));
    m_pChkBold->setText(tr("Bold"));
    m_pChkItalic->setText(tr("Italic"));
    m_pBtnColour->setText(tr("Colour"));
    m_pBtnBrowse->setText(tr("Browse"));
    m_pBtnSave->setText(tr("Save"));
    m_pBtnApply->setText(tr("Apply"));
    m_pBtnClose->setText(tr("Close"));
    for (int i = 0; i < 9; ++i)
        m_pCmbPosition->setItemText(i, tr(kPositions[i]));
    m_pSpinMarginX->setPrefix(tr("X "));
    m_pSpinMarginX->setToolTip(tr("Distance from the left or right edge in a 1080p recording"));
    m_pSpinMarginY->setPrefix(tr("Y "));
    m_pSpinMarginY->setToolTip(tr("Distance from the top or bottom edge in a 1080p recording"));
    m_pPreview->setToolTip(tr("Drag the watermark to place it"));
    // Row labels keep their untranslated words to be translated again.
    for (QLabel* label : findChildren<QLabel*>()) {
        const QByteArray source = label->property("source").toByteArray();
        if (!source.isEmpty())
            label->setText(tr(source.constData()));
    }
    fillList();
}

void DlgWatermarkManage::connectEditor()
{
    connect(m_pList, &QListWidget::currentRowChanged, this, &DlgWatermarkManage::onRowChanged);
    connect(m_pBtnAddText, &QPushButton::clicked, this, &DlgWatermarkManage::onAddText);
    connect(m_pBtnAddPicture, &QPushButton::clicked, this, &DlgWatermarkManage::onAddPicture);
    connect(m_pBtnDelete, &QPushButton::clicked, this, &DlgWatermarkManage::onDelete);
    connect(m_pBtnSave, &QPushButton::clicked, this, &DlgWatermarkManage::onSave);
    connect(m_pBtnApply, &QPushButton::clicked, this, &DlgWatermarkManage::onApply);
    connect(m_pBtnClose, &QPushButton::clicked, this, &DlgWatermarkManage::reject);
    connect(m_pBtnColour, &QPushButton::clicked, this, &DlgWatermarkManage::onChooseColour);
    connect(m_pBtnBrowse, &QPushButton::clicked, this, &DlgWatermarkManage::onChoosePicture);
    connect(m_pPreview, &WaterMarkPreview::placed, this, &DlgWatermarkManage::onPlaced);
    for (QLineEdit* edit : {m_pEditName, m_pEditText})
        connect(edit, &QLineEdit::textEdited, this, &DlgWatermarkManage::edited);
    for (QSpinBox* box : {m_pSpinFontSize, m_pSpinPicSize, m_pSpinOpacity, m_pSpinMarginX, m_pSpinMarginY})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &DlgWatermarkManage::edited);
    for (QCheckBox* box : {m_pChkBold, m_pChkItalic})
        connect(box, &QCheckBox::toggled, this, &DlgWatermarkManage::edited);
    connect(m_pCmbFont, &QFontComboBox::currentFontChanged, this, &DlgWatermarkManage::edited);
    connect(m_pCmbPosition, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DlgWatermarkManage::edited);
    // A name that clashes is made unique once the user leaves the field.
    connect(m_pEditName, &QLineEdit::editingFinished, this, [this] {
        if (m_nRow < 0 || m_nRow >= m_lstWorking.size())
            return;
        const QString name = uniqueName(m_pEditName->text().trimmed(), m_nRow);
        if (name != m_pEditName->text())
            m_pEditName->setText(name);
        edited();
    });
}

void DlgWatermarkManage::fillList()
{
    if (!m_pList)
        return;
    const QSignalBlocker block(m_pList);
    const int row = m_pList->currentRow();
    m_pList->clear();
    for (int i = 0; i < m_lstWorking.size(); ++i) {
        const WaterMarkData& data = m_lstWorking.at(i);
        auto* item = new QListWidgetItem(QIcon(data.kindIconPath()), data.m_strWaterMarkName, m_pList);
        item->setToolTip(data.m_strWaterMarkName);
    }
    m_pList->setCurrentRow(qMin(row, m_pList->count() - 1));
    m_pBtnDelete->setEnabled(m_pList->count() > 0);
    m_pBtnApply->setEnabled(m_pList->count() > 0);
}

void DlgWatermarkManage::onRowChanged(int row)
{
    m_nRow = row;
    if (row >= 0 && row < m_lstWorking.size())
        showPreset(m_lstWorking.at(row));
    m_pBtnDelete->setEnabled(row >= 0);
    m_pBtnApply->setEnabled(row >= 0);
}

void DlgWatermarkManage::showPreset(const WaterMarkData& data)
{
    m_bLoading = true;
    m_pEditName->setText(data.m_strWaterMarkName);
    m_pPages->setCurrentIndex(data.m_bPic ? 1 : 0);
    m_pEditText->setText(data.m_strText);
    if (!data.m_strFontFamily.isEmpty())
        m_pCmbFont->setCurrentFont(QFont(data.m_strFontFamily));
    m_pSpinFontSize->setValue(data.m_nFontSize);
    m_pChkBold->setChecked(data.m_bBold);
    m_pChkItalic->setChecked(data.m_bItalic);
    m_pBtnColour->setStyleSheet(QStringLiteral("#btnColour { border-bottom: 3px solid %1; }").arg(data.m_clrText.name()));
    m_pEditPicture->setText(data.m_strPicPath);
    m_pSpinPicSize->setValue(data.m_nPicSize);
    m_pSpinOpacity->setValue(data.m_nOpacity);
    showPlacement(data);
    m_pPreview->setData(data);
    m_bLoading = false;
}

void DlgWatermarkManage::showPlacement(const WaterMarkData& data)
{
    // Each spin box shows the margin from the edge the anchor sits against.
    m_pCmbPosition->setCurrentIndex(data.m_nPosition);
    m_pSpinMarginX->setValue(data.m_lstMargin.value(data.m_nPosition % 3 == 2 ? 2 : 0));
    m_pSpinMarginY->setValue(data.m_lstMargin.value(data.m_nPosition / 3 == 2 ? 3 : 1));
}

void DlgWatermarkManage::edited()
{
    if (m_bLoading || m_nRow < 0 || m_nRow >= m_lstWorking.size())
        return;
    WaterMarkData& data = m_lstWorking[m_nRow];
    data.m_strWaterMarkName = m_pEditName->text();
    data.m_strText = m_pEditText->text();
    data.m_strFontFamily = m_pCmbFont->currentFont().family();
    data.m_nFontSize = m_pSpinFontSize->value();
    data.m_bBold = m_pChkBold->isChecked();
    data.m_bItalic = m_pChkItalic->isChecked();
    data.m_nPicSize = m_pSpinPicSize->value();
    data.m_nOpacity = m_pSpinOpacity->value();
    data.m_nPosition = m_pCmbPosition->currentIndex();
    // One horizontal and one vertical margin: the anchor decides which
    // edge each one keeps the watermark from.
    data.m_lstMargin = {m_pSpinMarginX->value(), m_pSpinMarginY->value(), m_pSpinMarginX->value(),
                        m_pSpinMarginY->value()};
    if (QListWidgetItem* item = m_pList->item(m_nRow)) {
        item->setText(data.m_strWaterMarkName);
        item->setToolTip(data.m_strWaterMarkName);
    }
    m_pPreview->setData(data);
}

void DlgWatermarkManage::onPlaced(const WaterMarkData& placed)
{
    if (m_nRow < 0 || m_nRow >= m_lstWorking.size())
        return;
    WaterMarkData& data = m_lstWorking[m_nRow];
    data.m_nPosition = placed.m_nPosition;
    data.m_lstMargin = placed.m_lstMargin;
    m_bLoading = true;
    showPlacement(data);
    m_bLoading = false;
}

void DlgWatermarkManage::onChooseColour()
{
    if (m_nRow < 0 || m_nRow >= m_lstWorking.size())
        return;
    const QColor colour = QColorDialog::getColor(m_lstWorking.at(m_nRow).m_clrText, this, tr("Text colour"));
    if (!colour.isValid() || m_nRow < 0 || m_nRow >= m_lstWorking.size())
        return;
    m_lstWorking[m_nRow].m_clrText = colour;
    showPreset(m_lstWorking.at(m_nRow));
}

void DlgWatermarkManage::onChoosePicture()
{
    if (m_nRow < 0 || m_nRow >= m_lstWorking.size() || !m_lstWorking.at(m_nRow).m_bPic)
        return;
    const QString path = chooseUsablePicture(this);
    if (path.isEmpty())
        return;
    m_lstWorking[m_nRow].m_strPicPath = path;
    showPreset(m_lstWorking.at(m_nRow));
}

QString DlgWatermarkManage::uniqueName(const QString& base, int exceptRow) const
{
    const QString stem = base.isEmpty() ? tr("Watermark") : base;
    auto taken = [&](const QString& name) {
        for (int i = 0; i < m_lstWorking.size(); ++i) {
            if (i != exceptRow && m_lstWorking.at(i).m_strWaterMarkName.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    };
    QString name = stem;
    for (int n = 2; taken(name); ++n)
        name = QStringLiteral("%1 %2").arg(stem).arg(n);
    return name;
}

void DlgWatermarkManage::addPreset(WaterMarkData data)
{
    data.m_strWaterMarkName = uniqueName(data.m_strWaterMarkName, -1);
    m_lstWorking << data;
    fillList();
    m_pList->setCurrentRow(m_lstWorking.size() - 1);
}

void DlgWatermarkManage::onAddText()
{
    WaterMarkData data;
    data.m_strWaterMarkName = tr("Text Watermark");
    data.m_strText = VxProductInfo::instance()->productName();
    addPreset(data);
}

void DlgWatermarkManage::onAddPicture()
{
    const QString path = chooseUsablePicture(this);
    if (path.isEmpty())
        return;
    WaterMarkData data;
    data.m_strWaterMarkName = tr("Picture Watermark");
    data.m_bPic = true;
    data.m_strPicPath = path;
    data.m_bShadow = false;
    addPreset(data);
}

void DlgWatermarkManage::onDelete()
{
    const int row = m_pList->currentRow();
    if (row < 0 || row >= m_lstWorking.size())
        return;
    m_lstWorking.removeAt(row);
    // The applied choice follows its preset, or goes with it.
    if (m_nSelectIndex == row)
        m_nSelectIndex = -1;
    else if (m_nSelectIndex > row)
        --m_nSelectIndex;
    fillList();
    onRowChanged(m_pList->currentRow());
}

bool DlgWatermarkManage::hasUnsavedChanges() const
{
    return m_lstWorking != WaterMarkDataManage::instance()->getWaterMarkDataList();
}

void DlgWatermarkManage::onSave()
{
    // The store never writes an empty list, and would keep the old one.
    if (m_lstWorking.isEmpty())
        return;
    WaterMarkDataManage* store = WaterMarkDataManage::instance();
    store->setWaterMarkDataList(m_lstWorking);
    store->saveWaterMarkDataFile();
    m_bSaved = true;
}

void DlgWatermarkManage::onApply()
{
    const int row = m_pList ? m_pList->currentRow() : -1;
    if (row < 0 || row >= m_lstWorking.size())
        return;
    // The strip looks the index up in the store: what is applied must be
    // what the file holds.
    if (hasUnsavedChanges())
        onSave();
    m_nSelectIndex = row;
    accept();
}

void DlgWatermarkManage::reject()
{
    if (hasUnsavedChanges() && !m_lstWorking.isEmpty()) {
        const int answer = VxMessageBox::question(
            this, VxProductInfo::instance()->productName(),
            tr("The watermarks have changed. Do you want to save the changes before leaving?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes && answer != QMessageBox::No)
            return;
        if (answer == QMessageBox::Yes)
            onSave();
        m_bUseLastSelect = false;
    }
    VxDialogBase::reject();
}
