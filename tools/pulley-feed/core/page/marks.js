// Marks and acknowledgements, from a screen given the feed's write token
// once (?token=... in the address, kept on this screen and taken out of
// the address). Each tap is one write: its button waits for the answer,
// and a key of its own makes a second send of it no second row.
const TOKEN_KEY = "pulley.token";
if (params.has("token")) {
  store(TOKEN_KEY, params.get("token"));
  params.delete("token");
  history.replaceState(null, "", location.pathname + (params.toString() ? "?" + params : ""));
}
const writeToken = () => stored(TOKEN_KEY, "");
const MARK_TEXTS = JSON.parse($("marks").dataset.buttons || "[]");

function newKey() {
  const bytes = crypto.getRandomValues(new Uint8Array(16));
  return Array.from(bytes, b => b.toString(16).padStart(2, "0")).join("");
}

// Sends the write; the button is held until it is answered.
function sendWrite(button, path, body) {
  button.disabled = true;
  fetch(path, {method: "POST", cache: "no-store", body: JSON.stringify(body),
               headers: {"Authorization": "Bearer " + writeToken(), "Content-Type": "application/json",
                         "Idempotency-Key": newKey()}})
    .then(answer => {
      if (answer.status === 401)
        store(TOKEN_KEY, "");  // a token the feed no longer takes
      button.classList.toggle("refused", !answer.ok);
      showMarks();
    })
    .catch(() => button.classList.add("refused"))
    .finally(() => { button.disabled = false; });
}

function showMarks() {
  const bar = $("marks");
  bar.hidden = !writeToken() || MARK_TEXTS.length === 0;
  if (bar.hidden || bar.childElementCount)
    return;
  for (const text of MARK_TEXTS) {
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = text;
    button.addEventListener("click", () => sendWrite(button, "marks", {text}));
    bar.append(button);
  }
}

$("ack-button").addEventListener("click", () => {
  for (const alarm of (latest && latest.alarms || []).filter(alarm => !alarm.acknowledged))
    sendWrite($("ack-button"), "acks", {id: alarm.id});
});
