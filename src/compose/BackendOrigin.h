#pragma once
// The built-in composition backend: vesmer-composer on this machine. The one
// origin for the built-in base URL (Part 4.1) and for the sign-in page (Part 4.5).
// A loopback origin rather than an HTTPS one, because nothing leaves the machine.

inline constexpr char kBuiltInBackendOrigin[] = "http://127.0.0.1:38471";
