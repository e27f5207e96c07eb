// The graphical mode's images, drawn in code: the window's skin and the faces of its buttons.
// Every image is drawn on the key colour, pure green; pixels of the key colour (with a tolerance
// of 1 per channel above it) are cut out of the window and are transparent on the buttons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QString>

namespace kt::ui {

inline constexpr QRgb kKeyColour = 0xFF00FF00;   // red 0, green 255, blue 0
inline constexpr QRgb kAmber = 0xFFFFCC00;       // status, headers, markers
inline constexpr int kSkinWidth = 690;
inline constexpr int kSkinHeight = 322;

bool IsKeyColour(QRgb pixel);
// The part of the image that is not key colour (the window's shape).
QRegion OpaqueRegion(const QImage& image);
// The image with its key-colour pixels made transparent.
QPixmap Keyed(const QImage& image);

// The window's background, 690 x 322.
QImage SkinBackground();

// A skin button's two images: while the mouse is over it, and otherwise.
struct ButtonFaces {
  QPixmap hover;
  QPixmap normal;
};

enum class FaceStyle { kAction, kStop };
ButtonFaces TextButtonFaces(const QString& caption, FaceStyle style = FaceStyle::kAction);  // 92 x 36
ButtonFaces NetworkButtonFaces();   // 33 x 35
ButtonFaces MinimizeButtonFaces();  // 21 x 17
ButtonFaces ExitButtonFaces();      // 21 x 17

// The program's icon: a price-checker terminal.
QIcon ProgramIcon();

}  // namespace kt::ui
