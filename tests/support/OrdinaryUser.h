// Root may write in any folder, so a test of a folder closed to writing acts as an
// ordinary user (nobody) while it looks: the effective ids change for every thread of
// the process (glibc), and the saved ones bring root back. The folders on the way must
// be open to others for the time.
#pragma once

#include <unistd.h>

class SLTestAsOrdinaryUser {
 public:
  SLTestAsOrdinaryUser() {
    if (m_wasRoot) m_active = setegid(65534) == 0 && seteuid(65534) == 0;
  }
  ~SLTestAsOrdinaryUser() {
    if (!m_wasRoot) return;
    if (seteuid(0) != 0 || setegid(0) != 0) _exit(3);  // a test process that cannot be root again is no use
  }
  SLTestAsOrdinaryUser(const SLTestAsOrdinaryUser&) = delete;
  SLTestAsOrdinaryUser& operator=(const SLTestAsOrdinaryUser&) = delete;
  // False when root could not become an ordinary user.
  bool Active() const { return !m_wasRoot || m_active; }

 private:
  const bool m_wasRoot = geteuid() == 0;
  bool m_active = false;
};
