#pragma once
// What `vexlor --headless --format waybar|line` prints for each pass: a short
// text for a status bar ("⚠ Claude · 2 working"), a tooltip listing the
// agents and usage windows, a class for styling ("needs-you", "working",
// "idle") and the highest used share of any plan window.

#include "deck/Agent.h"
#include "deck/ProviderUsage.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vexlor::statusbar {

struct Summary {
    QString text;
    QString tooltip; // one line per agent, then one per usage tile
    QString cssClass;
    int percentage = 0; // highest used share of a plan window, 0..100
    QString topWindow;  // that window as "Claude 5h 43%", or empty
};

[[nodiscard]] Summary summarize(const QList<Agent>& agents, const QList<ProviderUsage>& usage, double nowSeconds);
// One JSON object for a Waybar custom module ("return-type": "json"): text,
// tooltip, class, alt and percentage. Waybar reads text and tooltip as Pango
// markup, so "&", "<" and ">" are escaped.
[[nodiscard]] QByteArray waybarLine(const Summary& summary);
// A plain line for tmux or polybar: the text and the fullest window.
[[nodiscard]] QByteArray plainLine(const Summary& summary);

} // namespace vexlor::statusbar
