#pragma once
// The deck view's DeckSource over the application's DeckModel.

#include "DeckSource.h"

namespace vexlor {

class DeckModel;

class ModelDeckSource : public DeckSource {
    Q_OBJECT

public:
    explicit ModelDeckSource(DeckModel& model, QObject* parent = nullptr);

    [[nodiscard]] QString assignmentAt(int slot) const override;
    void assign(const QString& assignment, int slot) override;
    [[nodiscard]] QString pickerLabel(const QString& assignment) const override;
    [[nodiscard]] std::optional<AgentFacts> agent(const QString& id) const override;
    [[nodiscard]] std::optional<UsageFacts> usage(const QString& id) const override;
    [[nodiscard]] std::optional<UsageFacts> usageWithPrefix(const QString& prefix) const override;
    [[nodiscard]] std::optional<int> pageIndexOfAgent(const QString& id) const override;
    [[nodiscard]] std::optional<int> pageIndexOfUsage(const QString& id) const override;
    [[nodiscard]] std::optional<int> pageIndexOfUsagePrefix(const QString& prefix) const override;
    [[nodiscard]] int infoPageIndex() const override;
    void setInfoPageIndex(int index) override;
    void advancePage(int step) override;
    void startTimers() override;

private:
    DeckModel& m_model;
};

} // namespace vexlor
