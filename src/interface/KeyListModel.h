#pragma once
// The deck's keys as a list model, one row per grid slot: what each key is
// assigned, its background, whether it has chrome, and what it draws. Rows
// are worked out from the deck model's records and report dataChanged only
// for the roles whose values changed, so a key redraws exactly when its own
// content does.

#include "deck/DeckModel.h"

#include <QAbstractListModel>
#include <QColor>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace vexlor {

class KeyListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the deck state")
    // How many keys the grid holds (columns × rows).
    Q_PROPERTY(int slotCount READ slotCount NOTIFY slotCountChanged)

public:
    enum Role {
        AssignmentRole = Qt::UserRole + 1, // stored value: "claudeStatus", "spacer", ...
        BackgroundRole,                    // QColor
        ChromelessRole,                    // bool
        FaceRole,                          // KeyFace
    };
    Q_ENUM(Role)

    explicit KeyListModel(DeckModel* model, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    [[nodiscard]] int slotCount() const { return int(m_rows.size()); }
    void setSlotCount(int count);

signals:
    void slotCountChanged();

private:
    struct Row {
        QString assignment;
        QColor background;
        bool chromeless = false;
        KeyFace face;
    };
    [[nodiscard]] Row rowAt(int slot) const;
    void refresh();

    QPointer<DeckModel> m_model;
    QList<Row> m_rows;
};

} // namespace vexlor
