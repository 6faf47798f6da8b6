#include "platform/MessageBox.h"

#include "platform/SheetLibrary.h"

int SaverMessageBox(const char* title, const char* message)
{
    const SSheetLibrary* library = SheetLibrary();
    return library ? library->message_box(title, message) : 0;
}
