#include "SignInPage.h"

namespace composer {

const char* const kSignInPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; form-action 'self' vesmer:; "
    "base-uri 'none'; frame-ancestors 'none'";

namespace {

const char* const kStyle = R"(
:root { color-scheme: dark; }
* { box-sizing: border-box; }
body { margin: 0; min-height: 100vh; display: grid; place-items: center; padding: 24px;
  font: 16px/1.5 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", sans-serif; color: #e8e6f5;
  background: radial-gradient(1200px 600px at 20% 0%, #3b1f7a 0%, transparent 60%),
              radial-gradient(900px 600px at 100% 100%, #0f5d73 0%, transparent 55%), #07081a; }
main { width: min(460px, 100%); padding: 36px 32px 28px; border-radius: 22px;
  background: rgba(18, 18, 40, 0.78); border: 1px solid rgba(255,255,255,0.09);
  box-shadow: 0 30px 80px rgba(0,0,0,0.55), inset 0 1px 0 rgba(255,255,255,0.06); }
.mark { width: 56px; height: 56px; border-radius: 16px; margin-bottom: 18px;
  background: conic-gradient(from 200deg, #7b5cff, #23d5e8, #ff4fa3, #ffc857, #7b5cff);
  box-shadow: 0 0 36px rgba(123,92,255,0.55); }
h1 { font-size: 26px; line-height: 1.2; margin: 0 0 8px; letter-spacing: -0.01em; }
p { margin: 0 0 14px; color: #b9b6d3; }
label { display: block; font-size: 14px; color: #cfcbe8; margin: 18px 0 6px; }
input[type=text] { width: 100%; padding: 12px 14px; border-radius: 12px; font: inherit; letter-spacing: 0.08em;
  color: #fff; background: rgba(255,255,255,0.06); border: 1px solid rgba(255,255,255,0.16); }
input[type=text]:focus { outline: 2px solid #7b5cff; border-color: transparent; }
button { margin-top: 22px; width: 100%; padding: 14px 18px; border: 0; border-radius: 14px; cursor: pointer;
  font: 600 17px/1.2 inherit; font-family: inherit; color: #0b0720;
  background: linear-gradient(135deg, #23d5e8, #7b5cff 55%, #ff4fa3); box-shadow: 0 10px 30px rgba(123,92,255,0.45); }
button:hover { filter: brightness(1.08); }
button:focus-visible { outline: 3px solid #fff; outline-offset: 3px; }
.note { margin-top: 22px; padding-top: 16px; border-top: 1px solid rgba(255,255,255,0.08); font-size: 14px; }
.note strong { color: #e8e6f5; }
.msg { padding: 10px 12px; border-radius: 10px; font-size: 14px; margin: 14px 0 0;
  background: rgba(35,213,232,0.12); color: #bff4fa; }
.msg.error { background: rgba(255,79,163,0.14); color: #ffc4e0; }
)";

QString escape(const QString& text)
{
    return text.toHtmlEscaped();
}

QString frame(const QString& title, const QString& body)
{
    return QStringLiteral("<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                          "<meta name=\"referrer\" content=\"no-referrer\">"
                          "<title>%1</title><style>%2</style></head><body><main>"
                          "<div class=\"mark\" aria-hidden=\"true\"></div>%3</main></body></html>\n")
        .arg(escape(title), QString::fromLatin1(kStyle), body);
}

}  // namespace

QString renderSignInPage(const SignInPage& page)
{
    QString body = QStringLiteral("<h1>Connect Vesmer</h1>"
                                  "<p>Vesmer draws scenes from your prompts and from the songs you play. "
                                  "This composer turns them into scenes once this computer is connected.</p>");
    if (!page.message.isEmpty())
        body += QStringLiteral("<p class=\"msg%1\" role=\"status\">%2</p>")
                    .arg(page.messageIsError ? QStringLiteral(" error") : QString(), escape(page.message));
    body += QStringLiteral("<form method=\"post\" action=\"/app/keys\">"
                           "<input type=\"hidden\" name=\"nonce\" value=\"%1\">")
                .arg(escape(page.nonce));
    if (page.needsInvite)
        body += QStringLiteral("<label for=\"invite\">Invite code</label>"
                               "<input type=\"text\" id=\"invite\" name=\"invite\" required autocomplete=\"off\" "
                               "autocapitalize=\"characters\" spellcheck=\"false\" maxlength=\"40\" "
                               "placeholder=\"ABCD-EFGH-JKMN\">"
                               "<p style=\"margin-top:8px;font-size:14px\">This composer is shared. Ask whoever runs "
                               "it for a code; each code works once, for 24 hours.</p>");
    body += QStringLiteral("<button type=\"submit\">Connect this computer</button></form>"
                           "<div class=\"note\"><p><strong>What happens next.</strong> The composer makes a key for "
                           "this computer and hands it to the Vesmer app through a <code>vesmer://</code> link. "
                           "If your browser asks whether to open Vesmer, allow it.</p>"
                           "<p>The panel then shows you as signed in, and prompt scenes, cover scenes and "
                           "automatic scenes use this composer. The composer keeps only a fingerprint of the "
                           "key; you can close this tab.</p></div>");
    return frame(QStringLiteral("Connect this computer · Vesmer"), body);
}

QString renderOpeningPage()
{
    return frame(QStringLiteral("Opening Vesmer…"),
                 QStringLiteral("<h1>Opening Vesmer…</h1><p>Your browser is handing this computer's key to the "
                                "Vesmer app. If nothing happens, make sure Vesmer is installed, then connect again "
                                "from its panel.</p>"));
}

}  // namespace composer
