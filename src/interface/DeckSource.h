#pragma once
// What the deck view reads and changes of the deck model, reduced to the few
// facts its key rules need. Assignments travel as their stored values
// ("claudeStatus", "spacer", ...), the same text QML sees.

#include <QColor>
#include <QObject>
#include <QString>
#include <optional>

namespace vexlor {

struct AgentFacts {
    QString id;
    QString status; // "working", "needsYou", "idle" or "offline"
    int openSessions = 0;
};

struct UsageFacts {
    QString id;
    QColor tileBackground;
    bool unavailable = false;
    QString caption; // the unavailable caption, untranslated ("online off", ...)
};

class DeckSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual QString assignmentAt(int slot) const = 0;
    virtual void assign(const QString& assignment, int slot) = 0;
    [[nodiscard]] virtual QString pickerLabel(const QString& assignment) const = 0;

    [[nodiscard]] virtual std::optional<AgentFacts> agent(const QString& id) const = 0;
    [[nodiscard]] virtual std::optional<UsageFacts> usage(const QString& id) const = 0;
    [[nodiscard]] virtual std::optional<UsageFacts> usageWithPrefix(const QString& prefix) const = 0;

    [[nodiscard]] virtual std::optional<int> pageIndexOfAgent(const QString& id) const = 0;
    [[nodiscard]] virtual std::optional<int> pageIndexOfUsage(const QString& id) const = 0;
    [[nodiscard]] virtual std::optional<int> pageIndexOfUsagePrefix(const QString& prefix) const = 0;
    [[nodiscard]] virtual int infoPageIndex() const = 0;
    virtual void setInfoPageIndex(int index) = 0;
    virtual void advancePage(int step) = 0;
    virtual void startTimers() = 0;

signals:
    // Agents, usage tiles or assignments changed.
    void changed();
};

} // namespace vexlor
