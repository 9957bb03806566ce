#pragma once

// Drawing tools of the drawing tool bar, the screenshot editor and the
// recording canvas. The numbers cross into the capture engine's canvas
// (CScreenCanvasObject::start) and are stored nowhere else: never renumber.
enum CanvasShapes {
    CanvasShapes_None = 0,
    CanvasShapes_Rectangle = 1,
    CanvasShapes_Ellipse = 2,
    CanvasShapes_Line = 3,
    CanvasShapes_Arrow = 4,
    CanvasShapes_Pen = 5,
    CanvasShapes_Marker = 6,   // wide translucent stroke
    CanvasShapes_Number = 7,   // numbered callout: the colours change places
    CanvasShapes_Text = 8,     // sized by the font size, not the stroke width
    CanvasShapes_Blur = 9      // mosaic brush over what lies beneath
};

// The stroke sizes offered for every tool; the width in pixels depends on
// the tool (FfColor::getPainterSize).
enum Line_Size {
    Line_Size_Small = 0,
    Line_Size_Middle = 1,
    Line_Size_Large = 2
};
