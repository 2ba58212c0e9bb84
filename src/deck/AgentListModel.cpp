#include "AgentListModel.h"

#include <array>

namespace vexlor {

namespace {

struct RoleSpec {
    int role;
    const char* name;
    QVariant (*read)(const Agent&);
};

using R = AgentListModel::Role;
const std::array kRoles{
    RoleSpec{R::AgentRole, "agent", [](const Agent& a) { return QVariant::fromValue(a); }},
    RoleSpec{R::AgentIdRole, "agentId", [](const Agent& a) { return QVariant(a.id); }},
    RoleSpec{R::NameRole, "name", [](const Agent& a) { return QVariant(a.name); }},
    RoleSpec{R::StatusRole, "status", [](const Agent& a) { return QVariant(a.statusName()); }},
    RoleSpec{R::StatusLabelRole, "statusLabel", [](const Agent& a) { return QVariant(a.statusLabel()); }},
    RoleSpec{R::SessionsRole, "sessions", [](const Agent& a) { return QVariant(a.sessions); }},
};

const RoleSpec* specOf(int role)
{
    for (const RoleSpec& spec : kRoles) {
        if (spec.role == role)
            return &spec;
    }
    return nullptr;
}

bool sameRows(const QList<Agent>& a, const QList<Agent>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Agent& x, const Agent& y) { return x.id == y.id; });
}

} // namespace

int AgentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_agents.size());
}

QVariant AgentListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const RoleSpec* spec = specOf(role);
    return spec ? spec->read(m_agents.at(index.row())) : QVariant();
}

QHash<int, QByteArray> AgentListModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (const RoleSpec& spec : kRoles)
        names.insert(spec.role, spec.name);
    return names;
}

void AgentListModel::setAgents(const QList<Agent>& agents)
{
    if (agents == m_agents)
        return;
    if (!sameRows(agents, m_agents)) {
        beginResetModel();
        m_agents = agents;
        endResetModel();
        return;
    }
    for (qsizetype row = 0; row < agents.size(); ++row) {
        const Agent& fresh = agents.at(row);
        const Agent& old = m_agents.at(row);
        if (fresh == old)
            continue;
        QList<int> changed;
        for (const RoleSpec& spec : kRoles) {
            if (spec.read(fresh) != spec.read(old))
                changed.append(spec.role);
        }
        m_agents[row] = fresh;
        const QModelIndex at = index(int(row));
        emit dataChanged(at, at, changed);
    }
}

} // namespace vexlor
