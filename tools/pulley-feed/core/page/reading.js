// The reading: the digits fitted to the screen, the lines under them, the alarms.
let latest = null, lastEventAt = -Infinity, beat = false, fitted = "";
// Sound needs a tap first (browsers allow it only then); Silence quiets the
// alarms standing now on this screen only, until another is raised.
let audio = null, beeping = null;
const silenced = new Set();

function text(reading) {  // the display's own text, "+0123m" or "+00403ft"
  return unit === "ft" ? reading.text_ft : reading.text_m;
}

// The largest digits that fit: as wide as the screen allows and, where the
// width runs out first, drawn taller (up to four times) rather than small.
// Sized for the widest text of their length ("+" and zeros), so that the
// narrower dashes or minus sign never leave digits too wide when they come.
function fit() {
  const count = $("count"), digits = $("digits"), main = $("reading");
  count.style.transform = "none";
  count.style.height = "auto";
  count.style.fontSize = "100px";
  const drawn = digits.textContent;
  const drawnBox = count.getBoundingClientRect();
  digits.textContent = "+" + "0".repeat(Math.max(0, drawn.length - 1));
  const widestBox = count.getBoundingClientRect();
  digits.textContent = drawn;
  const boxWidth = Math.max(drawnBox.width, widestBox.width), boxHeight = drawnBox.height;
  const room = main.getBoundingClientRect();
  const lastHeight = ["last", "watch", "tension"].reduce((sum, id) => sum + $(id).getBoundingClientRect().height, 0);
  const width = room.width * 0.94, height = (room.height - lastHeight) * 0.9;
  const size = Math.max(8, Math.min(100 * width / boxWidth, 100 * height / boxHeight));
  const tall = Math.max(1, Math.min(4, height / (boxHeight * size / 100)));
  count.style.fontSize = size + "px";
  count.style.height = (boxHeight * size / 100 * tall) + "px";
  if (tall > 1.05)
    count.style.transform = "scaleY(" + tall.toFixed(3) + ")";
}

function show() {
  const age = performance.now() - lastEventAt;
  const stale = age > STALE_MS, blank = age > BLANK_MS || latest === null;
  $("stale").hidden = !stale || latest === null;
  write("stale-seconds", Math.floor(age / 1000));
  const reading = latest;
  const hasCount = reading !== null && reading.metres !== null;
  const full = hasCount && !blank ? text(reading) : (unit === "ft" ? "------ft" : "-----m");
  const suffix = lengthUnit();
  write("digits", full.slice(0, full.length - suffix.length));
  write("unit-label", suffix);
  $("count").classList.toggle("negative", hasCount && !blank && reading.metres < 0);
  write("last", blank && hasCount
    ? "last " + text(reading).replace(/(m|ft)$/, " $1") + " at " + reading.utc.slice(11, 19) + " UTC" : "");
  if (reading !== null) {
    write("status", stale ? "no data from the feed" : WORDS[reading.status] || reading.status);
    $("status").classList.toggle("trouble", stale || !reading.valid);
    const rate = reading.rate_m_per_min === null ? null : rateInUnit(reading.rate_m_per_min);
    write("rate", rate === null || stale ? "" :
      rate > 0 ? "paying out " + rate.toFixed(1) + " " + rateUnit() :
      rate < 0 ? "hauling in " + (-rate).toFixed(1) + " " + rateUnit() : "steady");
    write("utc", reading.utc.slice(11, 19) + " UTC");
  }
  showWatch(blank);
  showTension(blank);
  // Digits of one length and sign fit alike (the widest of them is the
  // measure), so a count changing each second costs no fitting.
  const shape = full.replace(/[0-9+]/g, "0");
  if (shape !== fitted) {
    fitted = shape;
    fit();
  }
}

function beep() {
  const tone = audio.createOscillator(), gain = audio.createGain();
  tone.frequency.value = 880;
  gain.gain.value = 0.25;
  tone.connect(gain).connect(audio.destination);
  tone.start();
  tone.stop(audio.currentTime + 0.35);
}

function showWatch(blank) {
  const reading = latest, alarms = reading && !blank ? reading.alarms || [] : [];
  for (const id of [...silenced])
    if (!alarms.some(alarm => alarm.id === id))
      silenced.delete(id);
  // An alarm acknowledged on any screen, or silenced on this one, is quiet.
  const loud = alarms.some(alarm => !alarm.acknowledged && !silenced.has(alarm.id));
  $("alarm").hidden = alarms.length === 0;
  write("alarm-text", alarms.map(alarm => alarm.text.toLowerCase() + (alarm.acknowledged ? " (acknowledged)" : ""))
    .join(" \u00b7 "));
  $("ack-button").hidden = !writeToken() || !alarms.some(alarm => !alarm.acknowledged);
  $("sound-button").hidden = audio !== null;
  $("silence-button").hidden = audio === null || !loud;
  if (loud && audio && !beeping) {
    beep();
    beeping = setInterval(beep, 1000);
  } else if (!(loud && audio) && beeping) {
    clearInterval(beeping);
    beeping = null;
  }
  const parts = [];
  if (reading && !blank && reading.cast)
    parts.push("cast " + reading.cast.number + ": " + clock(Date.parse(reading.utc) - Date.parse(reading.cast.start_utc)) +
               ", max " + lengthText(reading.cast.max_m));
  if (reading && !blank && reading.wire_left_m !== null && reading.wire_left_m !== undefined)
    parts.push(lengthText(reading.wire_left_m) + " left on the drum");
  if (reading && !blank && reading.wire && reading.wire.load_test_due)
    parts.push("load test due");
  write("watch", parts.join(" \u00b7 "));
}
