// Numbers as the page writes them: digits in groups of three, as in 36,000,054.

// Written out rather than with toLocaleString, whose first call loads the locale's data on a
// user's click.

export function count(value) {
  return String(value).replace(/\B(?=(\d{3})+(?!\d))/g, ',');
}
