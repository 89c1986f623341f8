// Our Signal K plugin in a stand-in for the server: it starts, what it
// emits is handed to the server's own NMEA 0183 parser as the server hands
// it, and each line read from stdin comes out as the parser's delta, one
// JSON line each (null for a line no parser takes).
const Parser = require('@signalk/nmea0183-signalk');
const readline = require('readline');

const emitted = [];
const app = {
  emitPropertyValue: (name, value) => emitted.push({name, value}),
  debug: () => {},
  error: message => console.error(message),
};
require(process.argv[2])(app).start({winch: process.argv[3]});
const parser = new Parser({
  onPropertyValues: (name, callback) =>
    callback(emitted.filter(property => property.name === name).map(property => ({value: property.value}))),
});
readline.createInterface({input: process.stdin}).on('line', line => {
  let result;
  try {
    result = parser.parse(line + '\r\n');
  } catch (error) {
    result = {error: error.message};
  }
  console.log(JSON.stringify(result));
});
