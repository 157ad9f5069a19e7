// Whom an entry described for the desktop-user judgement grants its rights, besides read access
// for the desktop user. The contract machines build such descriptions; PlatformContract.h uses
// them.
#pragma once

namespace fenn::contract {

enum class Grantee {
  Nobody,       // only the system's installer account may change it
  DesktopUser,  // the desktop user's own account
  Users,        // the Users group, which the desktop user belongs to
};

}  // namespace fenn::contract
