#pragma once
// The deck model's agents as a list model, one row per agent in the model's
// order. An update with equal agents reports nothing; a changed agent
// reports dataChanged for its row and only the roles whose values changed;
// a different set of agents resets the list.
//
// Every role is one row of the table in AgentListModel.cpp (its number, the
// name QML reads, and how to read it from an Agent): a new role is one enum
// value and one table row.

#include "Agent.h"

#include <QAbstractListModel>

namespace vexlor {

class AgentListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        AgentRole = Qt::UserRole + 1, // the whole record (an Agent gadget)
        AgentIdRole,                  // "claude", ...
        NameRole,                     // "CLAUDE", ...
        StatusRole,                   // "working", "needsYou", "idle", "offline"
        StatusLabelRole,              // "WORKING", "NEED YOU", ...
        SessionsRole,                 // open sessions
    };
    Q_ENUM(Role)

    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] const QList<Agent>& agents() const { return m_agents; }
    void setAgents(const QList<Agent>& agents);

private:
    QList<Agent> m_agents;
};

} // namespace vexlor
