#pragma once
// The collection manager's answers to the account's changes of signed-in user, registered
// with the account when the collections are linked in.

namespace AccountCollections {

// Makes the account's user changes, log-outs and refreshes reach the shared collection manager.
bool registerWithAccount();

}  // namespace AccountCollections
