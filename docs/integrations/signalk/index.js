// Signal K server plugin: teaches the server's NMEA 0183 parser pulley-feed's
// sentences. $PKVNC becomes the wire paid out (m), its rate (m/s: Signal K
// is SI) and whether the count is valid, under winches.<name>; $IIALR
// becomes a notification per alarm; $IIXDR,N,newtons,N,TENSION the wire's
// tension (N) from the winch's load cell. Signal K has no path for a winch: the
// plugin keeps its own group, winches.<name>, as propulsion.<name> does for
// engines, so that two winches never share a path.

const NOTIFY = ['visual', 'sound'];

// An NMEA field as a number, or null when it is empty.
function numberOrNull(field) {
  return field === undefined || field.trim() === '' ? null : Number(field);
}

// A winch's name as one path segment: letters, digits and underscores.
function pathSegment(name) {
  return String(name || 'winch').replace(/[^A-Za-z0-9_]/g, '_');
}

function delta(tags, values) {
  return {updates: [{source: tags.source, timestamp: tags.timestamp || new Date().toISOString(), values}]};
}

// $PKVNC,hhmmss.ss,metres,rate_m_per_min,A|V
function payout(winch, {parts, tags}) {
  const [, metres, ratePerMinute, status] = parts;
  const rate = numberOrNull(ratePerMinute);
  return delta(tags, [
    {path: `${winch}.payout`, value: numberOrNull(metres)},
    {path: `${winch}.payoutRate`, value: rate === null ? null : rate / 60},
    {path: `${winch}.valid`, value: status === 'A'},
  ]);
}

// $IIALR,hhmmss.ss,nnn,A|V,V,words: A while the alarm stands, V once cleared.
function alarm(winch, {parts, tags}) {
  const [, id, condition, , words] = parts;
  const name = winch.replace(/^winches\./, '');
  return delta(tags, [{
    path: `notifications.${winch}.alarm${id}`,
    value: {state: condition === 'A' ? 'alarm' : 'normal', method: NOTIFY, message: `${name}: ${words}`},
  }]);
}

// $IIXDR quadruplets (type, value, unit, name): the force named TENSION, in
// newtons; any other transducer is not ours (the parser we were checked
// with has no XDR of its own to fall back on).
function tension(winch, {parts, tags}) {
  for (let at = 0; at + 3 < parts.length; at += 4)
    if (parts[at] === 'N' && parts[at + 2] === 'N' && parts[at + 3] === 'TENSION')
      return delta(tags, [{path: `${winch}.tension`, value: numberOrNull(parts[at + 1])}]);
  return null;
}

module.exports = function (app) {
  return {
    id: 'signalk-pulley-feed',
    name: 'Pulley cable count (pulley-feed)',
    description: "Reads pulley-feed's $PKVNC, $IIALR and tension $IIXDR sentences from an NMEA 0183 connection",
    schema: {
      type: 'object',
      properties: {
        winch: {type: 'string', title: "The winch's name in the path (winches.<name>.payout)", default: 'ctd'},
      },
    },
    start(options) {
      const winch = `winches.${pathSegment(options.winch || 'ctd')}`;
      app.emitPropertyValue('nmea0183sentenceParser', {sentence: 'PKVNC', parser: input => payout(winch, input)});
      app.emitPropertyValue('nmea0183sentenceParser', {sentence: 'ALR', parser: input => alarm(winch, input)});
      app.emitPropertyValue('nmea0183sentenceParser', {sentence: 'XDR', parser: input => tension(winch, input)});
    },
    stop() {},
  };
};
