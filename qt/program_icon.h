// The program's icon, painted: a framed picture of a sunset over the sea.
#pragma once

#include <QIcon>
#include <QImage>

namespace ravelle {

QImage ProgramIconImage(int size);
QIcon ProgramIcon();

}  // namespace ravelle
