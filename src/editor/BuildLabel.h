#pragma once

#include <QString>

// "Build: " and the date and time this program was built, as in "Build: Sep 11 2005 13:53:27".
QString buildLabelText();
