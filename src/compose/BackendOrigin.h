#pragma once
// The built-in composition backend: vesmer-composer on this machine. The one
// origin for the built-in base URL and for the sign-in page.
// A loopback origin rather than an HTTPS one, because nothing leaves the machine.

inline constexpr char kBuiltInBackendOrigin[] = "http://127.0.0.1:38471";
