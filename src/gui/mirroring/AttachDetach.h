#pragma once

// "Attach All (right)" and "Detach All (right)" on the "Restore Dir" tab: every .mdf file of the attach
// list (File2(1), folder txtRestoreDir) attached on the Mirror, every database of the Mirror's list
// detached. Each database name in turn goes into txtDB, which keeps the last one.

namespace quorix {

struct Form;
class ServerSessions;

class AttachDetach {
public:
    AttachDetach(Form &form, ServerSessions &sessions);

    // The list's entries are taken once. Only "<D>.mdf" is attached (with "<D>.ldf" beside it); other
    // entries only name txtDB. A ticked STOP ends the walk after the current file and is unticked.
    void cmdAttachAll_Click();
    // Every row of GridDB(1), counted once; no STOP, and the list is not reloaded afterwards.
    void cmdDetachAll_Click();

private:
    Form &m_form;
    ServerSessions &m_sessions;
};

} // namespace quorix
