// The popup's choices from the language host's "languages" reply.

// The language speech is recognised in: the first with speech recognition, preferring one whose
// model is installed, then English.
export function speechSource(reply) {
  const languages = (reply && reply.languages) || [];
  const rank = (language) =>
    (language.speechInstalled ? 0 : 2) + (language.code.startsWith('en') ? 0 : 1);
  const candidates = languages.filter((language) => language.speechSupported);
  candidates.sort((a, b) => rank(a) - rank(b));
  return candidates[0] || null;
}

// Targets installed for `source`, named for the user, sorted by name.
export function targetsFor(reply, source) {
  const names = new Map(((reply && reply.languages) || []).map((l) => [l.code, l.name]));
  const targets = ((reply && reply.pairs) || [])
      .filter(([from, to]) => from === source && to !== source)
      .map(([, to]) => ({code: to, name: names.get(to) || to}));
  targets.sort((a, b) => a.name.localeCompare(b.name));
  return targets;
}
