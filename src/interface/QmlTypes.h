#pragma once
// The deck's C++ objects as QML types, so the views declare what they hold
// (`property DeckModel model`) instead of untyped objects. They are made by
// the application and handed to the view; QML never creates them.

#include "deck/AppSettings.h"
#include "deck/DeckModel.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace vexlor {

struct DeckModelForeign {
    Q_GADGET
    QML_FOREIGN(vexlor::DeckModel)
    QML_NAMED_ELEMENT(DeckModel)
    QML_UNCREATABLE("made by the application")
};

struct AgentListModelForeign {
    Q_GADGET
    QML_FOREIGN(vexlor::AgentListModel)
    QML_NAMED_ELEMENT(AgentListModel)
    QML_UNCREATABLE("made by the deck model")
};

struct AppSettingsForeign {
    Q_GADGET
    QML_FOREIGN(vexlor::AppSettings)
    QML_NAMED_ELEMENT(AppSettings)
    QML_UNCREATABLE("made by the application")
};

} // namespace vexlor
