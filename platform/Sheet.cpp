#include "platform/Sheet.h"

#include "platform/Bundle.h"
#include "platform/SheetLibrary.h"

#include <string>
#include <vector>

bool loadNibNamed(const Bundle& bundle, const char* name, void* owner, const SOutlet* outlets, size_t outletCount,
                  const SAction* actions, size_t actionCount)
{
    const std::string path = bundle.pathForResource(name, "ui");
    const SSheetLibrary* library = path.empty() ? nullptr : SheetLibrary();
    if (!library)
        return false;
    std::vector<void*> objects(outletCount, nullptr);
    std::vector<SSheetOutlet> slots(outletCount);
    for (size_t i = 0; i < outletCount; ++i)
        slots[i] = {outlets[i].name, &objects[i]};
    std::vector<SSheetAction> handlers(actionCount);
    for (size_t i = 0; i < actionCount; ++i)
        handlers[i] = {actions[i].name, actions[i].perform};
    if (!library->load_interface(path.c_str(), owner, slots.data(), int(outletCount), handlers.data(),
                                 int(actionCount)))
        return false;
    for (size_t i = 0; i < outletCount; ++i)
        *outlets[i].control = Control(objects[i]);
    return true;
}

bool runSheet(Control sheet, unsigned long parent, double interval, void (*tick)(void*), void* context)
{
    return sheet && SheetLibrary()->run_sheet(sheet.widget(), parent, interval, tick, context) != 0;
}

void endSheet(Control sheet)
{
    if (sheet)
        SheetLibrary()->end_sheet(sheet.widget());
}

void releaseSheet(Control sheet)
{
    if (sheet)
        SheetLibrary()->destroy_window(sheet.widget());
}
