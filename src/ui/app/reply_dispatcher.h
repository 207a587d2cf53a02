// Applies what the reply parser recognised: link supervision, status and system labels, the
// preset lists, the parameter image, and the timers that finish the longer sequences.
#pragma once

#include "app/connection.h"
#include "app/program_state.h"
#include "app/shell_widgets.h"

namespace quellaton {

class ReplyDispatcher : public QObject {
    Q_OBJECT
public:
    ReplyDispatcher(ProgramState& state, ShellWidgets& widgets, Connection& connection);

    // The parse operation: runs once per receive pass.
    void Parse();

    // The name of a preset as the list shows it: its bytes up to the first zero byte.
    static QString PresetNameText(const QByteArray& name);

private:
    void applySystem(const SystemBlockReply& reply);
    void applyStatus(const StatusReply& reply, bool searchHit);
    void applyBackup(const ParseResult& result);
    void applyImage(const ParseResult& result);
    void applyNames(const std::array<QByteArray, 20>& names);

    ProgramState& s_;
    ShellWidgets& w_;
    Connection& connection_;
};

} // namespace quellaton
