#include "capture/FfColor.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const int kIcon = 20;
const QColor kInk(0x33, 0x33, 0x33);
const int kFontSizes[] = {10, 12, 14, 16, 18, 20, 24, 28, 32, 36, 48, 64, 72};
const int kDefaultFontSize = 16;

// Pictures drawn here rather than loaded: the bar has no resource files.
enum class Glyph { Rect, Ellipse, Line, Arrow, Pen, Marker, Number, Text, Blur, Undo, Redo, Clear, Leave };

// The drawing tools' pictures.
void drawToolGlyph(QPainter& p, Glyph g, const QPen& pen)
{
    const QRectF box(3.5, 4.5, 13, 11);
    switch (g) {
    case Glyph::Rect:
        p.drawRect(box);
        break;
    case Glyph::Ellipse:
        p.drawEllipse(box);
        break;
    case Glyph::Line:
        p.drawLine(QPointF(4, 16), QPointF(16, 4));
        break;
    case Glyph::Arrow: {
        p.drawLine(QPointF(4, 16), QPointF(15, 5));
        QPainterPath head;
        head.moveTo(16, 4);
        head.lineTo(9.5, 5.5);
        head.lineTo(14.5, 10.5);
        head.closeSubpath();
        p.fillPath(head, kInk);
        break;
    }
    case Glyph::Pen: {
        QPainterPath path(QPointF(3, 14));
        path.cubicTo(QPointF(6, 4), QPointF(9, 18), QPointF(12, 9));
        path.cubicTo(QPointF(13.5, 5), QPointF(15.5, 7), QPointF(17, 6));
        p.drawPath(path);
        break;
    }
    case Glyph::Marker: {
        QPen wide(QColor(0xf5, 0xc5, 0x18, 200), 6, Qt::SolidLine, Qt::FlatCap);
        p.setPen(wide);
        p.drawLine(QPointF(3, 13), QPointF(17, 13));
        p.setPen(pen);
        p.drawLine(QPointF(5, 6), QPointF(15, 6));
        break;
    }
    case Glyph::Number: {
        p.setBrush(kInk);
        p.drawEllipse(QRectF(3, 3, 14, 14));
        QFont font = p.font();
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 14, 14), Qt::AlignCenter, QStringLiteral("1"));
        break;
    }
    case Glyph::Text: {
        QFont font = p.font();
        font.setPixelSize(16);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(0, 0, kIcon, kIcon), Qt::AlignCenter, QStringLiteral("T"));
        break;
    }
    case Glyph::Blur:
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                p.fillRect(QRectF(3 + x * 3.5, 3 + y * 3.5, 3.5, 3.5),
                           (x + y) % 2 ? QColor(0x99, 0x99, 0x99) : QColor(0xdd, 0xdd, 0xdd));
        break;
    default:
        break;
    }
}

// The pictures of undo, redo, clear and leave.
void drawActionGlyph(QPainter& p, Glyph g)
{
    switch (g) {
    case Glyph::Undo:
    case Glyph::Redo: {
        p.save();
        if (g == Glyph::Redo) {
            p.translate(kIcon, 0);
            p.scale(-1, 1);
        }
        QPainterPath path(QPointF(5, 8));
        path.lineTo(12, 8);
        path.cubicTo(QPointF(18, 8), QPointF(18, 16), QPointF(12, 16));
        path.lineTo(8, 16);
        p.drawPath(path);
        QPainterPath head;
        head.moveTo(3, 8);
        head.lineTo(8, 4);
        head.lineTo(8, 12);
        head.closeSubpath();
        p.fillPath(head, kInk);
        p.restore();
        break;
    }
    case Glyph::Clear:
        p.drawRect(QRectF(5.5, 6.5, 9, 10));
        p.drawLine(QPointF(3.5, 5), QPointF(16.5, 5));
        p.drawLine(QPointF(8, 3), QPointF(12, 3));
        p.drawLine(QPointF(8.5, 9), QPointF(8.5, 14));
        p.drawLine(QPointF(11.5, 9), QPointF(11.5, 14));
        break;
    case Glyph::Leave:
        p.drawLine(QPointF(5, 5), QPointF(15, 15));
        p.drawLine(QPointF(15, 5), QPointF(5, 15));
        break;
    default:
        break;
    }
}

QIcon glyph(Glyph g)
{
    QPixmap pixmap(kIcon, kIcon);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen pen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    if (g >= Glyph::Undo)
        drawActionGlyph(p, g);
    else
        drawToolGlyph(p, g, pen);
    return QIcon(pixmap);
}

QIcon sizeDot(int diameter)
{
    QPixmap pixmap(kIcon, kIcon);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    const double d = diameter;
    p.drawEllipse(QRectF((kIcon - d) / 2, (kIcon - d) / 2, d, d));
    return QIcon(pixmap);
}

QIcon swatch(const QColor& colour)
{
    QPixmap pixmap(kIcon, kIcon);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x99, 0x99, 0x99));
    p.setBrush(colour);
    p.drawRect(QRect(3, 3, kIcon - 7, kIcon - 7));
    return QIcon(pixmap);
}

QFrame* separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setObjectName(QStringLiteral("lineSeparator"));
    return line;
}

} // namespace

FfColor::FfColor(QWidget* parent)
    : QFrame(parent), m_colour(0xff, 0x3b, 0x30), m_background(Qt::white)
{
    setObjectName(QStringLiteral("FfColor"));
    setFrameShape(QFrame::StyledPanel);
    setStyleSheet(QStringLiteral(
        "FfColor { background: #ffffff; border: 1px solid #d4d4d4; border-radius: 4px; }"
        "QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 2px; background: transparent; }"
        "QToolButton:hover { border-color: #c8c8c8; }"
        "QToolButton:checked { background: #dbe7ff; border-color: #8fb0f0; }"
        "QFrame#lineSeparator { color: #dddddd; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(3);
    layout->addLayout(buildToolRow());
    layout->addLayout(buildOptionRow());
    updateSwatches();
    updateTools();
    ensurePolished();
}

QLayout* FfColor::buildToolRow()
{
    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(2);
    const struct {
        CanvasShapes tool;
        const char* name;
        const char* tip;
        Glyph glyph;
    } toolList[] = {
        {CanvasShapes_Rectangle, "btnRectangle", QT_TR_NOOP("Rectangle"), Glyph::Rect},
        {CanvasShapes_Ellipse, "btnEllipse", QT_TR_NOOP("Ellipse"), Glyph::Ellipse},
        {CanvasShapes_Line, "btnLine", QT_TR_NOOP("Line"), Glyph::Line},
        {CanvasShapes_Arrow, "btnArrow", QT_TR_NOOP("Arrow"), Glyph::Arrow},
        {CanvasShapes_Pen, "btnPen", QT_TR_NOOP("Pen"), Glyph::Pen},
        {CanvasShapes_Marker, "btnMarker", QT_TR_NOOP("Marker"), Glyph::Marker},
        {CanvasShapes_Number, "btnNumber", QT_TR_NOOP("Number"), Glyph::Number},
        {CanvasShapes_Text, "btnText", QT_TR_NOOP("Text"), Glyph::Text},
        {CanvasShapes_Blur, "btnBlur", QT_TR_NOOP("Blur"), Glyph::Blur},
    };
    for (const auto& entry : toolList) {
        QToolButton* button = makeButton(QString::fromLatin1(entry.name), tr(entry.tip), glyph(entry.glyph), true);
        const int tool = entry.tool;
        connect(button, &QToolButton::clicked, this, [this, tool] { onToolClicked(tool); });
        m_tools.insert(tool, button);
        tools->addWidget(button);
    }
    tools->addWidget(separator(this));
    QToolButton* btnUndo = makeButton(QStringLiteral("btnUndo"), tr("Undo"), glyph(Glyph::Undo), false);
    QToolButton* btnRedo = makeButton(QStringLiteral("btnRedo"), tr("Redo"), glyph(Glyph::Redo), false);
    QToolButton* btnClear = makeButton(QStringLiteral("btnClear"), tr("Clear"), glyph(Glyph::Clear), false);
    QToolButton* btnLeave = makeButton(QStringLiteral("btnLeave"), tr("Exit drawing"), glyph(Glyph::Leave), false);
    connect(btnUndo, &QToolButton::clicked, this, &FfColor::undo);
    connect(btnRedo, &QToolButton::clicked, this, &FfColor::redo);
    connect(btnClear, &QToolButton::clicked, this, &FfColor::clear);
    connect(btnLeave, &QToolButton::clicked, this, &FfColor::onLeave);
    tools->addWidget(btnUndo);
    tools->addWidget(btnRedo);
    tools->addWidget(btnClear);
    tools->addStretch(1);
    tools->addWidget(btnLeave);
    return tools;
}

QLayout* FfColor::buildOptionRow()
{
    auto* options = new QHBoxLayout;
    options->setContentsMargins(0, 0, 0, 0);
    options->setSpacing(2);
    m_pSizes = new QButtonGroup(this);
    m_pSizes->setExclusive(true);
    const struct {
        Line_Size size;
        const char* name;
        const char* tip;
        int dot;
    } sizeList[] = {
        {Line_Size_Small, "btnSizeSmall", QT_TR_NOOP("Thin"), 4},
        {Line_Size_Middle, "btnSizeMiddle", QT_TR_NOOP("Medium"), 7},
        {Line_Size_Large, "btnSizeLarge", QT_TR_NOOP("Thick"), 11},
    };
    for (const auto& entry : sizeList) {
        QToolButton* button = makeButton(QString::fromLatin1(entry.name), tr(entry.tip), sizeDot(entry.dot), true);
        m_pSizes->addButton(button, entry.size);
        options->addWidget(button);
    }
    m_pSizes->button(m_lineSize)->setChecked(true);
    connect(m_pSizes, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == m_lineSize)
            return;
        m_lineSize = Line_Size(id);
        lookChanged();
    });

    m_pFontSize = new QComboBox(this);
    m_pFontSize->setObjectName(QStringLiteral("cmbFontSize"));
    m_pFontSize->setToolTip(tr("Font size"));
    for (int size : kFontSizes)
        m_pFontSize->addItem(QString::number(size), size);
    m_pFontSize->setCurrentIndex(m_pFontSize->findData(kDefaultFontSize));
    connect(m_pFontSize, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { lookChanged(); });
    options->addWidget(m_pFontSize);

    m_pNumber = new QSpinBox(this);
    m_pNumber->setObjectName(QStringLiteral("spinNumber"));
    m_pNumber->setToolTip(tr("Next number"));
    m_pNumber->setRange(1, 999);
    m_pNumber->setValue(1);
    connect(m_pNumber, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] { lookChanged(); });
    options->addWidget(m_pNumber);
    addColourButtons(options);
    return options;
}

void FfColor::addColourButtons(QHBoxLayout* options)
{
    options->addWidget(separator(this));
    // Two swatches: the palette paints the checked one.
    auto* swatches = new QButtonGroup(this);
    m_pSwatchColour = makeButton(QStringLiteral("btnColor"), tr("Colour"), QIcon(), true);
    m_pSwatchBackground = makeButton(QStringLiteral("btnBackground"), tr("Fill colour"), QIcon(), true);
    swatches->addButton(m_pSwatchColour);
    swatches->addButton(m_pSwatchBackground);
    m_pSwatchColour->setChecked(true);
    options->addWidget(m_pSwatchColour);
    options->addWidget(m_pSwatchBackground);
    const QColor palette[] = {QColor(0xff, 0x3b, 0x30), QColor(0xff, 0x95, 0x00), QColor(0xff, 0xcc, 0x00),
                              QColor(0x34, 0xc7, 0x59), QColor(0x00, 0xc7, 0xe6), QColor(0x00, 0x7a, 0xff),
                              QColor(0xaf, 0x52, 0xde), QColor(0x00, 0x00, 0x00), QColor(0x8e, 0x8e, 0x93),
                              QColor(0xff, 0xff, 0xff)};
    int index = 0;
    for (const QColor& colour : palette) {
        QToolButton* button = makeButton(QStringLiteral("btnPalette%1").arg(index++), colour.name(), swatch(colour), false);
        button->setProperty("colour", colour);
        connect(button, &QToolButton::clicked, this, [this, colour] { onColorPicked(colour); });
        options->addWidget(button);
    }
    options->addStretch(1);
}

FfColor::~FfColor() = default;

QToolButton* FfColor::makeButton(const QString& name, const QString& tip, const QIcon& icon, bool checkable)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setIcon(icon);
    button->setIconSize(QSize(kIcon, kIcon));
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

int FfColor::getFontSize() const
{
    return m_pFontSize->currentData().toInt();
}

int FfColor::getPainterSize() const
{
    static const int kStroke[] = {2, 4, 8};
    static const int kMarker[] = {8, 14, 20};
    static const int kBlur[] = {10, 18, 28};
    switch (m_nTool) {
    case CanvasShapes_Marker: return kMarker[m_lineSize];
    case CanvasShapes_Blur: return kBlur[m_lineSize];
    default: return kStroke[m_lineSize];
    }
}

QColor FfColor::getColor() const
{
    return m_colour;
}

QColor FfColor::getBackgroundColor() const
{
    return m_background;
}

int FfColor::numberNumber() const
{
    return m_pNumber->value() - 1;
}

void FfColor::setNumberNumber(int next)
{
    const QSignalBlocker block(m_pNumber);
    m_pNumber->setValue(next);
}

void FfColor::setHasBlur(bool has)
{
    QToolButton* blur = m_tools.value(CanvasShapes_Blur);
    blur->setVisible(has);
    if (!has && m_nTool == CanvasShapes_Blur) {
        // The tool leaves with its button, as if it had been clicked off.
        m_nTool = CanvasShapes_None;
        updateTools();
        emit stopCanvs(false);
    }
}

void FfColor::onToolClicked(int tool)
{
    if (tool == m_nTool) {
        m_nTool = CanvasShapes_None;
        updateTools();
        emit stopCanvs(false);
        return;
    }
    m_nTool = tool;
    updateTools();
    emit startCanvs(tool);
}

void FfColor::resetTool()
{
    m_nTool = CanvasShapes_None;
    updateTools();
}

void FfColor::onLeave()
{
    m_nTool = CanvasShapes_None;
    updateTools();
    emit stopCanvs(true);
}

void FfColor::onColorPicked(const QColor& colour)
{
    QColor& target = m_pSwatchBackground->isChecked() ? m_background : m_colour;
    if (target == colour)
        return;
    target = colour;
    updateSwatches();
    lookChanged();
}

void FfColor::lookChanged()
{
    // Also without a tool: the owner learns of every change, and a start
    // for no tool draws nothing.
    emit startCanvs(m_nTool);
}

void FfColor::updateTools()
{
    for (auto it = m_tools.cbegin(); it != m_tools.cend(); ++it)
        it.value()->setChecked(it.key() == m_nTool);
    m_pFontSize->setVisible(m_nTool == CanvasShapes_Text);
    m_pNumber->setVisible(m_nTool == CanvasShapes_Number);
}

void FfColor::updateSwatches()
{
    m_pSwatchColour->setIcon(swatch(m_colour));
    m_pSwatchBackground->setIcon(swatch(m_background));
}
