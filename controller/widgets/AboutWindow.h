#pragma once

#include "controller/widgets/BrevlinWindow.h"

// Says what the program is: its name, version, purpose and licence.
class AboutWindow : public BrevlinWindow
{
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);

    static QString version();
};
