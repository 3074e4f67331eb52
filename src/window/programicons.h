// The program's icons: a desktop theme's icon of the freedesktop name when the desktop
// has one, else our own drawing of it (SVG, shipped inside the program).
#pragma once

#include <QIcon>
#include <QString>

QIcon ProgramIcon(const QString& name);
// Whether our own set has a drawing of that name.
bool HasOwnIcon(const QString& name);
