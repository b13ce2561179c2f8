#pragma once
// The small icons of the connection-method combo, drawn in code.

#include <QIcon>
#include <vector>

// An image list whose positions 30, 36, 38 and 40 hold 16-pixel icons (a generic
// port, USB, a serial connector and a printer); the other positions are empty.
std::vector<QIcon> MakePortTypeImageList();
