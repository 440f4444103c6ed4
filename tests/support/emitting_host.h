// A stand-in host that announces the selection it makes on request: SelectNode
// selects the joint and then emits selectionChanged() from inside the call, as
// some content-creation hosts do. Views must stay correct when that signal
// arrives in the middle of their own selection request.
#ifndef SKW_TESTS_SUPPORT_EMITTING_HOST_H
#define SKW_TESTS_SUPPORT_EMITTING_HOST_H

#include "standin_host.h"

class EmittingHost : public StandInHost {
public:
    void SelectNode(const QString& node) override
    {
        StandInHost::SelectNode(node);
        emit selectionChanged();
    }
};

#endif
