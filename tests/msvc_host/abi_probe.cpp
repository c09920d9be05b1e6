// Every interface implemented once, so that both compilers lay out its
// vtable and emit each operation: the library's own adapters for the drivers,
// a small action for IAction.
#include "common/DriverAdapters.h"

class CProbeAction : public IAction {
public:
    int SetCallBack(uint32_t, NOTIFY_TARGET*) override { return 1; }
    int SetDriver(uint32_t, uint32_t, void*) override { return 2; }
    int InitAction(ACTION_PARAM*) override { return 3; }
    int DoAction() override { return 4; }
    int SetProperty(uint32_t, uint32_t, uint32_t) override { return 5; }
    int GetProperty(uint32_t, uint32_t, uint32_t) override { return 6; }
};

IRfTester* MakeRfTester(const RFTESTER_TABLE* t) {
    return new CRfTesterTableAdapter(t);
}
IDriver1* MakeDriver1(const DRIVER1_TABLE* t) {
    return new CDriver1TableAdapter(t);
}
IAction* MakeAction() {
    return new CProbeAction();
}
