// Private to platform/: the table between the module and VeltrixSheet.so, the
// small library in the bundle that holds everything GTK does for us (the
// configuration sheet's widgets and the message box). It is loaded at the
// first request, so a saver that never shows a sheet never loads GTK (some
// 90 ms of start-up here). Plain C types only; widgets travel as opaque
// pointers and belong to GTK.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define VELTRIX_SHEET_LIBRARY_ABI 1
#define VELTRIX_SHEET_LIBRARY_SYMBOL "veltrix_sheet_library"

typedef struct SSheetOutlet
{
    const char* name; // object id in the interface file
    void** slot; // receives the widget, or null when the file has none of that id
} SSheetOutlet;

typedef struct SSheetAction
{
    const char* name; // handler name in the interface file
    void (*perform)(void* owner, void* sender); // sender: the widget that fired
} SSheetAction;

typedef struct SSheetLibrary
{
    int abi; // VELTRIX_SHEET_LIBRARY_ABI

    // Loads a GtkBuilder file, fills the outlets, connects the actions to
    // owner. Returns 0 (nothing filled) without a display or when the file
    // is missing or malformed.
    int (*load_interface)(const char* path, void* owner, const SSheetOutlet* outlets, int outletCount,
                          const SSheetAction* actions, int actionCount);
    void (*destroy_window)(void* window);

    int (*state)(void* control);
    void (*set_state)(void* control, int state);
    int (*int_value)(void* control);
    void (*set_int_value)(void* control, int value);
    void (*set_enabled)(void* control, int enabled);
    void (*set_string_value)(void* control, const char* text); // shown as it stands

    // Shows the window over the X window parent (0: none) and runs the main
    // loop until end_sheet, calling tick every interval seconds (tick may be
    // null). Returns 0 when the window could not be shown.
    int (*run_sheet)(void* window, unsigned long parent, double interval, void (*tick)(void*), void* context);
    void (*end_sheet)(void* window); // hides it and ends run_sheet

    // A modal message with one "OK" button; 1 when OK was pressed, 0 when it
    // could not be shown or was dismissed otherwise.
    int (*message_box)(const char* title, const char* message);
} SSheetLibrary;

typedef const SSheetLibrary* (*PFNVELTRIXSHEETLIBRARY)(int abi);

#ifdef __cplusplus
}

// The library, loaded on first use; null when it cannot be loaded (then the
// sheet is never there and message boxes are not shown).
const SSheetLibrary* SheetLibrary();

// The file SheetLibrary loads: by default VeltrixSheet.so beside the code
// that calls it (the module's Contents/Linux/). Programs that link the
// platform layer directly, such as tests, name the bundle's copy here; call
// it before the first SheetLibrary.
void SetSheetLibraryPath(const char* path);
#endif
