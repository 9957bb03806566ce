#include "watermark/WhaterMarkMenuDlg.h"

#include <QEvent>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "watermark/WaterMarkDataManage.h"

namespace {

const int kRowHeight = 32;
const int kRadius = 8;

const char* const kSheet = R"(
#lstWaterMark { background: transparent; border: none; outline: none; color: #3c4650; }
#lstWaterMark::item { height: 32px; padding-left: 8px; border-radius: 5px; }
#lstWaterMark::item:hover { background: #eef0f2; color: #d9252b; }
#lstWaterMark::item:selected { background: transparent; color: #3c4650; }
#lstWaterMark::indicator { width: 0px; height: 0px; }
#btnAMWaterMark { border: none; border-top: 1px solid #e1e4e8; color: #3c4650; padding: 8px;
                  text-align: left; background: transparent; }
#btnAMWaterMark:hover { color: #d9252b; background: #eef0f2; }
)";

} // namespace

WhaterMarkMenuDlg::WhaterMarkMenuDlg(QWidget* parent)
    : QDialog(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("WhaterMarkMenuDlg"));
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QLatin1String(kSheet));

    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("lstWaterMark"));
    m_pList->setFocusPolicy(Qt::NoFocus);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pList->setIconSize(QSize(16, 16));
    m_pList->setMouseTracking(true);
    m_pBtnManage = new QPushButton(QIcon(QStringLiteral(":/watermark/manage.svg")), tr("Manage"), this);
    m_pBtnManage->setObjectName(QStringLiteral("btnAMWaterMark"));
    m_pBtnManage->setCursor(Qt::PointingHandCursor);
    m_pBtnManage->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);
    layout->addWidget(m_pList);
    layout->addWidget(m_pBtnManage);
    setFixedWidth(240);

    connect(m_pList, &QListWidget::itemClicked, this, &WhaterMarkMenuDlg::onItemClicked);
    connect(m_pBtnManage, &QPushButton::clicked, this, &WhaterMarkMenuDlg::sigBtnAMWaterMarkClicked);
}

void WhaterMarkMenuDlg::onLoadData(int current)
{
    m_nCurrent = current;
    m_pList->clear();
    const WaterMarkDataManage* store = WaterMarkDataManage::instance();
    const QList<WaterMarkData>& presets = store->getWaterMarkDataList();
    const QIcon check(QStringLiteral(":/watermark/check.svg"));
    for (int index = -1; index < presets.size(); ++index) {
        auto* item = new QListWidgetItem(m_pList);
        const QString name = store->getWatermarkName(index);
        item->setText(name);
        item->setToolTip(name);
        item->setData(Qt::UserRole, index);
        item->setSizeHint(QSize(0, kRowHeight));
        // The tick stands for the check: the check box itself would be a
        // second place to click that does something else.
        if (index == current)
            item->setIcon(check);
        else if (index == -1)
            item->setIcon(QIcon(QStringLiteral(":/watermark/none.svg")));
        else
            item->setIcon(QIcon(presets.at(index).kindIconPath()));
        item->setData(Qt::CheckStateRole, index == current ? Qt::Checked : Qt::Unchecked);
        item->setFlags(Qt::ItemIsEnabled);
    }
    fitHeight();
}

void WhaterMarkMenuDlg::fitHeight()
{
    // Up to eight rows without scrolling; more scroll.
    const int rows = qMin(m_pList->count(), 8);
    m_pList->setFixedHeight(rows * kRowHeight + 2);
    adjustSize();
}

void WhaterMarkMenuDlg::onItemClicked(QListWidgetItem* item)
{
    if (!item)
        return;
    emit sigPopViewListItemClicked(item->data(Qt::UserRole).toInt(), item->text(), m_pList->row(item));
}

void WhaterMarkMenuDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        m_pBtnManage->setText(tr("Manage"));
        onLoadData(m_nCurrent);
    }
}

void WhaterMarkMenuDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // Without a compositor the see-through corners would show black: the
    // mask cuts them away there, and costs nothing where one runs.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void WhaterMarkMenuDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter.fillPath(path, Qt::white);
    painter.setPen(QColor(0xd5, 0xd9, 0xde));
    painter.drawPath(path);
}
