#pragma once

#include <QString>

#include <memory>

// What the start-up module modMain (src/app/modMain.h) shares with the code below it: the two host globals it
// fixes before any window opens, and the two helpers the login dialog and the PC allowlist call after a query.
// They sit here, not in app, because the update and login code that read them must not depend on app.
namespace modMain {

/** Host (name or address, optionally ":port") of the update server. Written only by Main. */
extern QString UpdateServerHost;
/** Host (name or address, optionally ":port") of the in-house database server. Written only by Main. */
extern QString DbServerHost;

/** Decides the login for the rows the login dialog read for the typed user: every login that gets here
 *  is accepted. */
template <class Rows> bool CheckLogin([[maybe_unused]] Rows& rows)
{
    return true;
}

/** Closes obj when its State is 1 (open), then releases it in every case. */
template <class T> void CloseIfOpen(std::shared_ptr<T>& obj)
{
    if (!obj)
        return;
    if (obj->State() == 1)
        obj->Close();
    obj.reset();
}

} // namespace modMain
