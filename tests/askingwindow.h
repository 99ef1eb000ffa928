// SPDX-License-Identifier: MIT
#pragma once

#include "window.h"

#include <cstdint>

// A window whose unload handler answers as the test says and, agreeing,
// unloads from inside the handler as the program's window does; it counts the
// questions.
class AskingWindow : public platform::Window
{
  public:
    explicit AskingWindow(bool agree) : m_agree(agree) {}
    int asked = 0;

  protected:
    void Form_Unload(std::int16_t &Cancel) override
    {
        ++asked;
        if (m_agree)
            Unload();
        else
            Cancel = -1;
    }

  private:
    bool m_agree;
};
