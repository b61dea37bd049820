#pragma once

// What the record rules need from the main window. The main window installs itself; without it
// (command-line tools, tests) the data module falls back to doing the data part alone.
class MainWindowCallbacks
{
public:
    virtual ~MainWindowCallbacks() = default;
    // The exam navigator's edit button (puts the exam into edit mode through the rules).
    virtual void examNavigatorEdit() = 0;
    // Sets up the formatting buttons of the rich-text editors.
    virtual void ResetFormatButtons() = 0;
    // Re-reads the exam history grid for the current patient.
    virtual void PageControl2Change() = 0;
    // Whether the page "Grelha" is the one shown in the main window's page control.
    [[nodiscard]] virtual bool gridPageShown() const = 0;
};
