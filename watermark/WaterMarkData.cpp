#include "watermark/WaterMarkData.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QJsonArray>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "watermark/WaterMarkPicture.h"

namespace {

int clampInt(const QJsonValue& value, int fallback, int low, int high)
{
    if (!value.isDouble())
        return fallback;
    return std::clamp(value.toInt(fallback), low, high);
}

QColor colourOf(const QJsonValue& value, const QColor& fallback)
{
    const QColor colour(value.toString());
    return colour.isValid() ? colour : fallback;
}

int scaled(int value, double scale)
{
    return int(std::lround(value * scale));
}

} // namespace

WaterMarkData::WaterMarkData()
{
    m_lstMargin = QList<int>() << 24 << 24 << 24 << 24;
}

QJsonObject WaterMarkData::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), m_strWaterMarkName);
    o.insert(QStringLiteral("isPic"), m_bPic);
    o.insert(QStringLiteral("picPath"), m_strPicPath);
    o.insert(QStringLiteral("text"), m_strText);
    o.insert(QStringLiteral("fontFamily"), m_strFontFamily);
    o.insert(QStringLiteral("fontSize"), m_nFontSize);
    o.insert(QStringLiteral("bold"), m_bBold);
    o.insert(QStringLiteral("italic"), m_bItalic);
    o.insert(QStringLiteral("textColor"), m_clrText.name(QColor::HexArgb));
    o.insert(QStringLiteral("picSize"), m_nPicSize);
    o.insert(QStringLiteral("position"), m_nPosition);
    QJsonArray margins;
    for (int m : m_lstMargin)
        margins.append(m);
    o.insert(QStringLiteral("margin"), margins);
    o.insert(QStringLiteral("opacity"), m_nOpacity);
    o.insert(QStringLiteral("shadow"), m_bShadow);
    o.insert(QStringLiteral("shadowColor"), m_clrShadow.name(QColor::HexArgb));
    o.insert(QStringLiteral("shadowOffset"), m_nShadowOffset);
    return o;
}

WaterMarkData WaterMarkData::fromJson(const QJsonObject& o)
{
    WaterMarkData d;
    d.m_strWaterMarkName = o.value(QStringLiteral("name")).toString();
    d.m_bPic = o.value(QStringLiteral("isPic")).toBool(d.m_bPic);
    d.m_strPicPath = o.value(QStringLiteral("picPath")).toString();
    d.m_strText = o.value(QStringLiteral("text")).toString();
    d.m_strFontFamily = o.value(QStringLiteral("fontFamily")).toString();
    d.m_nFontSize = clampInt(o.value(QStringLiteral("fontSize")), d.m_nFontSize, 1, 1000);
    d.m_bBold = o.value(QStringLiteral("bold")).toBool(d.m_bBold);
    d.m_bItalic = o.value(QStringLiteral("italic")).toBool(d.m_bItalic);
    d.m_clrText = colourOf(o.value(QStringLiteral("textColor")), d.m_clrText);
    d.m_nPicSize = clampInt(o.value(QStringLiteral("picSize")), d.m_nPicSize, 1, 100);
    d.m_nPosition = clampInt(o.value(QStringLiteral("position")), d.m_nPosition, TopLeft, BottomRight);
    const QJsonArray margins = o.value(QStringLiteral("margin")).toArray();
    for (int i = 0; i < d.m_lstMargin.size() && i < margins.size(); ++i)
        d.m_lstMargin[i] = clampInt(margins.at(i), d.m_lstMargin.at(i), 0, 10000);
    d.m_nOpacity = clampInt(o.value(QStringLiteral("opacity")), d.m_nOpacity, 0, 100);
    d.m_bShadow = o.value(QStringLiteral("shadow")).toBool(d.m_bShadow);
    d.m_clrShadow = colourOf(o.value(QStringLiteral("shadowColor")), d.m_clrShadow);
    d.m_nShadowOffset = clampInt(o.value(QStringLiteral("shadowOffset")), d.m_nShadowOffset, 0, 100);
    return d;
}

double WaterMarkData::scaleFor(const QSize& frame) const
{
    return double(frame.height()) / kReferenceHeight;
}

QImage WaterMarkData::content(const QSize& frame, QString* error) const
{
    if (m_bPic) {
        // Never drawn larger than the frame: a larger picture is scaled down
        // while it is decoded.
        const QImage picture = WaterMarkPicture::read(m_strPicPath, frame, error);
        if (picture.isNull())
            return QImage();
        const int width = std::max(1, int(std::lround(frame.width() * m_nPicSize / 100.0)));
        return picture.scaledToWidth(width, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    if (m_strText.trimmed().isEmpty()) {
        if (error)
            *error = QCoreApplication::translate("WaterMarkData", "The watermark has no text.");
        return QImage();
    }
    QFont font = m_strFontFamily.isEmpty() ? QGuiApplication::font() : QFont(m_strFontFamily);
    font.setPixelSize(std::max(6, scaled(m_nFontSize, scaleFor(frame))));
    font.setBold(m_bBold);
    font.setItalic(m_bItalic);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(m_strText);
    const int height = metrics.height();
    if (width <= 0 || height <= 0) {
        if (error)
            *error = QCoreApplication::translate("WaterMarkData", "The watermark's text cannot be drawn.");
        return QImage();
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(m_clrText);
    painter.drawText(0, metrics.ascent(), m_strText);
    return image;
}

QString WaterMarkData::kindIconPath() const
{
    return m_bPic ? QStringLiteral(":/watermark/picture.svg") : QStringLiteral(":/watermark/text.svg");
}

QImage WaterMarkData::render(const QSize& frame, QString* error) const
{
    if (frame.width() <= 0 || frame.height() <= 0) {
        if (error)
            *error = QCoreApplication::translate("WaterMarkData", "The recording has no size to draw in.");
        return QImage();
    }
    const QImage body = content(frame, error);
    if (body.isNull())
        return QImage();

    const int offset = m_bShadow ? std::max(1, scaled(m_nShadowOffset, scaleFor(frame))) : 0;
    QImage solid(body.width() + offset, body.height() + offset, QImage::Format_ARGB32_Premultiplied);
    solid.fill(Qt::transparent);
    {
        QPainter painter(&solid);
        if (m_bShadow) {
            QImage shadow = body;
            QPainter tint(&shadow);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(shadow.rect(), m_clrShadow);
            tint.end();
            painter.drawImage(offset, offset, shadow);
        }
        painter.drawImage(0, 0, body);
    }

    // Opacity on the whole: where the shadow lies under the body it must not
    // show through.
    QImage result(solid.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        painter.setOpacity(m_nOpacity / 100.0);
        painter.drawImage(0, 0, solid);
    }
    if (result.width() > frame.width() || result.height() > frame.height())
        result = result.scaled(frame, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return result;
}

QPoint WaterMarkData::placeIn(const QSize& frame, const QSize& size) const
{
    const double scale = scaleFor(frame);
    auto margin = [&](int i) { return i < m_lstMargin.size() ? scaled(m_lstMargin.at(i), scale) : 0; };
    const int column = m_nPosition % 3;
    const int row = m_nPosition / 3;
    int x = column == 0 ? margin(0) : column == 1 ? (frame.width() - size.width()) / 2
                                                  : frame.width() - size.width() - margin(2);
    int y = row == 0 ? margin(1) : row == 1 ? (frame.height() - size.height()) / 2
                                            : frame.height() - size.height() - margin(3);
    x = std::clamp(x, 0, std::max(0, frame.width() - size.width()));
    y = std::clamp(y, 0, std::max(0, frame.height() - size.height()));
    return QPoint(x, y);
}

bool WaterMarkData::operator==(const WaterMarkData& o) const
{
    return m_strWaterMarkName == o.m_strWaterMarkName && m_bPic == o.m_bPic && m_strPicPath == o.m_strPicPath
        && m_strText == o.m_strText && m_strFontFamily == o.m_strFontFamily && m_nFontSize == o.m_nFontSize
        && m_bBold == o.m_bBold && m_bItalic == o.m_bItalic && m_clrText == o.m_clrText
        && m_nPicSize == o.m_nPicSize && m_nPosition == o.m_nPosition && m_lstMargin == o.m_lstMargin
        && m_nOpacity == o.m_nOpacity && m_bShadow == o.m_bShadow && m_clrShadow == o.m_clrShadow
        && m_nShadowOffset == o.m_nShadowOffset;
}
