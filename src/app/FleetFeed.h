#pragma once
// Brings the other hosts of a fleet onto this deck: each host's snapshot
// becomes deck records (known providers only, texts cut to the lengths the
// deck uses, kept as plain text), handed to the deck model whenever the
// fleet changes and every half minute, so a host that went quiet fades even
// when nothing arrives. The model's acknowledgements for other hosts go back
// out through the fleet.

#include "deck/DeckModel.h"
#include "deck/FleetView.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace vexlor {

class DeckModel;
class FleetSource;
struct FleetHost;

class FleetFeed : public QObject {
    Q_OBJECT

public:
    FleetFeed(FleetSource& source, DeckModel& model, QObject* parent = nullptr);

    // One host as the deck shows it.
    [[nodiscard]] static FleetHostView hostView(const FleetHost& host);

    void refresh();

private:
    QPointer<FleetSource> m_source;
    QPointer<DeckModel> m_model;
    QTimer m_ageTimer;
};

} // namespace vexlor
