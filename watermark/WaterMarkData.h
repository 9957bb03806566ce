#pragma once

#include <QColor>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>

// One watermark preset: a picture or a text burnt into recordings, where it
// sits, how large it is and how it looks.
//
// Sizes scale with the frame so that a preset looks the same in a small and
// a large recording: a picture's width is a share of the frame's width; a
// text's font size and every margin are pixels of a 1080-line frame.
class WaterMarkData
{
public:
    // Where the watermark sits in the frame; the margins keep it off the
    // edges it is placed against.
    enum Position {
        TopLeft = 0,
        TopCenter = 1,
        TopRight = 2,
        MiddleLeft = 3,
        Center = 4,
        MiddleRight = 5,
        BottomLeft = 6,
        BottomCenter = 7,
        BottomRight = 8
    };

    // Frame height at which font sizes and margins are given.
    static constexpr int kReferenceHeight = 1080;

    WaterMarkData();

    QString m_strWaterMarkName;
    bool m_bPic = false;             // true: picture, false: text
    QString m_strPicPath;            // picture file (or ":/" resource)
    QString m_strText;
    QString m_strFontFamily;         // empty: the application's font
    int m_nFontSize = 36;            // pixels at the reference height
    bool m_bBold = true;
    bool m_bItalic = false;
    QColor m_clrText = QColor(255, 255, 255);
    int m_nPicSize = 12;             // picture width, percent of the frame width (1..100)
    int m_nPosition = BottomRight;
    QList<int> m_lstMargin;          // left, top, right, bottom; 24 each by default
    int m_nOpacity = 80;             // percent (0..100)
    bool m_bShadow = true;
    QColor m_clrShadow = QColor(0, 0, 0, 160);
    int m_nShadowOffset = 2;         // pixels at the reference height

    // Stored form; unknown keys are ignored, missing ones keep the defaults
    // and every number is brought into its range.
    QJsonObject toJson() const;
    static WaterMarkData fromJson(const QJsonObject& object);

    // The picture that stands for the preset's kind in the lists.
    QString kindIconPath() const;

    // The preset drawn for a frame of `frame` size at its size in that
    // frame (opacity and shadow applied); a null image when the picture
    // cannot be read, the text is empty or the frame is empty, with `error`
    // (when given) saying why. Never larger than the frame.
    QImage render(const QSize& frame, QString* error = nullptr) const;
    // Top-left corner of an image of `size` in `frame`, kept inside it.
    QPoint placeIn(const QSize& frame, const QSize& size) const;

    bool operator==(const WaterMarkData& other) const;
    bool operator!=(const WaterMarkData& other) const { return !(*this == other); }

private:
    QImage content(const QSize& frame, QString* error) const;
    double scaleFor(const QSize& frame) const;
};
