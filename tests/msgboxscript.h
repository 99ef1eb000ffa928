// SPDX-License-Identifier: MIT
#pragma once

#include "msgbox.h"

#include <QList>
#include <QString>

#include <functional>

// Answers the program's message boxes for a test and records what they asked.
class MsgBoxScript
{
  public:
    struct Call {
        QString prompt;
        int buttons;
        QString title;
    };

    explicit MsgBoxScript(int answer = platform::vbOK) : m_answer(answer)
    {
        platform::setMsgBoxHook(
            [this](const platform::Text &prompt, int buttons, const platform::Text &title) {
                m_calls.append(
                    {QString::fromStdU16String(prompt), buttons, QString::fromStdU16String(title)});
                if (m_onShow)
                    m_onShow();
                return m_answer;
            });
    }
    ~MsgBoxScript() { platform::setMsgBoxHook({}); }
    MsgBoxScript(const MsgBoxScript &) = delete;
    MsgBoxScript &operator=(const MsgBoxScript &) = delete;

    void setAnswer(int answer) { m_answer = answer; }
    // Runs while the box is "open", before it is answered.
    void setOnShow(std::function<void()> action) { m_onShow = std::move(action); }
    const QList<Call> &calls() const { return m_calls; }

  private:
    int m_answer;
    std::function<void()> m_onShow;
    QList<Call> m_calls;
};
