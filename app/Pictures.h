// The program's pictures, drawn in code: the splash picture, the about box's
// picture, the tool-bar buttons and the program icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace pictures {

// 417 x 266: dark at the top and bottom edges so that white and light-yellow text
// drawn there stays readable.
QPixmap Splash();
// 70 x 70, the picture beside the about box's credits.
QPixmap AboutPicture();
// The program icon (every size from 16 to 256 pixels).
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

enum class ToolButton { New, Open, Save, About };
QIcon ToolIcon(ToolButton button);

} // namespace pictures
