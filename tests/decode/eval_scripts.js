// Evaluates statements with Node's script engine, for the differential test.
//
// Usage: node eval_scripts.js INPUT OUTPUT
// Each line of INPUT is a JSON array [statement, function name]. Each line of
// OUTPUT is "E" when the statement does not compile or defines no function of
// that name, "N" when the function returns something other than a string, else
// "V" followed by the result's UTF-16 code units, four hex digits each.
const fs = require('fs');

const [input, output] = process.argv.slice(2);
const lines = fs.readFileSync(input, 'utf8').split('\n').filter((line) => line.length > 0);

function evaluate(statement, name) {
  delete globalThis[name];
  try {
    (0, eval)(statement);  // global, non-strict code, as the script control runs it
  } catch (e) {
    if (e instanceof SyntaxError) return 'E';
    throw e;
  }
  const f = globalThis[name];
  if (typeof f !== 'function') return 'E';
  const result = f();
  if (typeof result !== 'string') return 'N';
  let hex = 'V';
  for (let i = 0; i < result.length; ++i) {
    hex += result.charCodeAt(i).toString(16).padStart(4, '0');
  }
  return hex;
}

const results = lines.map((line) => evaluate(...JSON.parse(line)));
fs.writeFileSync(output, results.join('\n') + '\n');
