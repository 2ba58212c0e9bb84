#pragma once
// A demonstration home for `vexlor --demo`: the files of all four agent tools
// written to a temporary folder, with the environment pointed at it, and a
// small script that keeps sessions working, finishing and needing the user
// while the deck runs. The program's own preferences and sync folder live
// there too, so the demo never changes the user's deck.

#include <QJsonObject>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace vexlor {

class DemoHome : public QObject {
    Q_OBJECT

public:
    static constexpr int stepMs = 4000;
    static constexpr int cycleSteps = 9;

    explicit DemoHome(QObject* parent = nullptr);

    // Writes the home and sets CLAUDE_CONFIG_DIR, CODEX_HOME,
    // KIMI_CODE_DATA_DIR, OPENCODE_DATA_DIR, XDG_CONFIG_HOME and
    // VEXLOR_KVS_DIR; call before anything reads them.
    [[nodiscard]] bool prepare();
    // Plays the script, one step every few seconds.
    void start();
    [[nodiscard]] QString root() const;
    [[nodiscard]] int step() const { return m_step; }
    // Moves the script one step on (the timer calls this).
    void advance();

private:
    [[nodiscard]] QString path(const QString& relative) const;
    void writeJson(const QString& relative, const QJsonObject& object);
    void appendLine(const QString& relative, const QByteArray& line);
    void claudeStatus(const QString& id, const QString& word, const QString& name, const QString& cwd);
    bool writeClaude();
    bool writeCodex();
    bool writeKimi();
    bool writeOpenCode();
    void playClaude(int phase);
    void playCodex(int phase);
    void playKimi(int phase);
    void playOpenCode(int phase);

    std::unique_ptr<QTemporaryDir> m_dir;
    QTimer m_timer;
    int m_step = 0;
};

} // namespace vexlor
